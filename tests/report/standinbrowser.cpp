// A stand-in for a web browser: writes its argv, each argument followed by a
// NUL byte, to <CORVANE_STANDIN_RECORDS>/<name it was started by>, and exits.
// The record appears at once (written aside as a hidden file, then renamed),
// so a reader never sees half of it.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

int main(int argc, char **argv)
{
    const char *folder = std::getenv("CORVANE_STANDIN_RECORDS");
    if (folder == nullptr || *folder == '\0' || argc < 1)
        return 2;
    std::string name(argv[0]);
    const std::string::size_type slash = name.rfind('/');
    if (slash != std::string::npos)
        name.erase(0, slash + 1);
    const std::string record = std::string(folder) + "/" + name;
    const std::string part = std::string(folder) + "/." + name + ".part" + std::to_string(getpid());
    std::FILE *out = std::fopen(part.c_str(), "wb");
    if (out == nullptr)
        return 3;
    for (int i = 0; i < argc; ++i) {
        const std::string arg(argv[i]);
        std::fwrite(arg.data(), 1, arg.size(), out);
        std::fputc('\0', out);
    }
    if (std::fclose(out) != 0 || std::rename(part.c_str(), record.c_str()) != 0)
        return 4;
    return 0;
}
