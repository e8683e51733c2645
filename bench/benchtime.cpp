// Times a command for the scan benchmark (bench-scan.sh):
//
//   corvane-bench-time exit <seconds> -- <command> [args...]
//       until the command ends by itself;
//   corvane-bench-time log <file> <address> <seconds> -- <command> [args...]
//       until the last line of <file> begins with <address>, then ends the
//       command (a program that keeps running after its scan).
//
// Prints "wall <s> peak <MB> exit <status>": wall time from the launch to the
// exit, or to the moment the log file was last written (its modification
// time), and the peak resident memory (VmHWM). A command still busy after
// <seconds> is killed and reported with exit "timeout".
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>

namespace {

double now(clockid_t clock)
{
    timespec t{};
    clock_gettime(clock, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

double peakMegabytes(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::strtod(line.c_str() + 6, nullptr) / 1024.0;
    }
    return 0;
}

// True when the file's last line begins with @p address and a separator.
bool lastLineIs(const char *path, const std::string &address)
{
    std::ifstream file(path, std::ios::binary | std::ios::ate);
    if (!file)
        return false;
    const std::streamoff size = file.tellg();
    const std::streamoff from = size > 512 ? size - 512 : 0;
    std::string tail(static_cast<size_t>(size - from), '\0');
    file.seekg(from);
    file.read(tail.data(), static_cast<std::streamsize>(tail.size()));
    while (!tail.empty() && (tail.back() == '\n' || tail.back() == '\r'))
        tail.pop_back();
    const size_t start = tail.find_last_of('\n');
    const std::string line = tail.substr(start == std::string::npos ? 0 : start + 1);
    return line.size() > address.size() && line.compare(0, address.size(), address) == 0 &&
           (line[address.size()] == ' ' || line[address.size()] == '\t');
}

int usage()
{
    std::fprintf(stderr, "usage: corvane-bench-time exit <seconds> -- <command> [args...]\n"
                         "       corvane-bench-time log <file> <address> <seconds> -- <command>\n");
    return 2;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5)
        return usage();
    const bool untilLog = std::strcmp(argv[1], "log") == 0;
    if (!untilLog && std::strcmp(argv[1], "exit") != 0)
        return usage();
    const int first = untilLog ? 5 : 3;
    if (argc <= first + 1 || std::strcmp(argv[first], "--") != 0)
        return usage();
    const char *logPath = untilLog ? argv[2] : nullptr;
    const std::string address = untilLog ? argv[3] : "";
    const double limit = std::strtod(argv[untilLog ? 4 : 2], nullptr);

    const double startWall = now(CLOCK_REALTIME);
    const double start = now(CLOCK_MONOTONIC);
    const pid_t child = fork();
    if (child < 0) {
        std::perror("fork");
        return 1;
    }
    if (child == 0) {
        execvp(argv[first + 1], argv + first + 1);
        std::fprintf(stderr, "corvane-bench-time: %s: %s\n", argv[first + 1], std::strerror(errno));
        _exit(127);
    }

    double wall = -1;
    double peak = 0;
    std::string exit = "timeout";
    int status = 0;
    while (now(CLOCK_MONOTONIC) - start < limit) {
        if (untilLog && lastLineIs(logPath, address)) {
            struct stat info
            {
            };
            if (stat(logPath, &info) == 0)
                wall = double(info.st_mtim.tv_sec) + double(info.st_mtim.tv_nsec) / 1e9 - startWall;
            peak = peakMegabytes(child);
            exit = "0";
            break;
        }
        if (!untilLog) {
            rusage used{};
            const pid_t done = wait4(child, &status, WNOHANG, &used);
            if (done == child) {
                wall = now(CLOCK_MONOTONIC) - start;
                peak = double(used.ru_maxrss) / 1024.0;
                exit = std::to_string(WIFEXITED(status) ? WEXITSTATUS(status)
                                                        : 128 + WTERMSIG(status));
                std::printf("wall %.3f peak %.1f exit %s\n", wall, peak, exit.c_str());
                return 0;
            }
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    kill(child, SIGTERM);
    for (int i = 0; i < 250 && waitpid(child, &status, WNOHANG) == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    if (waitpid(child, &status, WNOHANG) == 0) {
        kill(child, SIGKILL);
        waitpid(child, &status, 0);
    }
    std::printf("wall %.3f peak %.1f exit %s\n", wall, peak, exit.c_str());
    return 0;
}
