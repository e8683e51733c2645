#include "resolverplatform.h"

#include <cerrno>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>
#include <vector>

namespace {

// The reentrant calls want room for the whole host entry; a host with many
// aliases or addresses needs more than usual, so the room grows on ERANGE,
// within reason.
constexpr size_t FirstEntrySize = 2048;
constexpr size_t MaxEntrySize = size_t{1} << 20;

// Runs one reentrant host-entry call and hands the entry to read() while its
// buffer is alive. Nothing is shared between calls or threads.
template<typename Result, typename Call, typename Read>
std::optional<Result> withHostEntry(Call call, Read read)
{
    std::vector<char> buffer(FirstEntrySize);
    for (;;) {
        hostent entry{};
        hostent *found = nullptr;
        int hostError = 0;
        const int error = call(&entry, buffer.data(), buffer.size(), &found, &hostError);
        if (error == ERANGE && buffer.size() < MaxEntrySize) {
            buffer.resize(buffer.size() * 2);
            continue;
        }
        if (error != 0 || found == nullptr)
            return std::nullopt;
        return read(*found);
    }
}

} // namespace

std::optional<quint32> lookupFirstIPv4Address(const QByteArray &hostName)
{
    return withHostEntry<quint32>(
        [&hostName](hostent *entry, char *buffer, size_t size, hostent **found, int *hostError) {
            return gethostbyname_r(hostName.constData(), entry, buffer, size, found, hostError);
        },
        [](const hostent &entry) -> std::optional<quint32> {
            if (entry.h_addrtype != AF_INET || entry.h_length != 4 ||
                entry.h_addr_list == nullptr || entry.h_addr_list[0] == nullptr)
                return std::nullopt;
            quint32 address = 0;
            std::memcpy(&address, entry.h_addr_list[0], sizeof address);
            return address;
        });
}

std::optional<QByteArray> lookupOfficialHostName(quint32 networkOrderAddress)
{
    return withHostEntry<QByteArray>(
        [networkOrderAddress](hostent *entry, char *buffer, size_t size, hostent **found,
                              int *hostError) {
            return gethostbyaddr_r(&networkOrderAddress, sizeof networkOrderAddress, AF_INET, entry,
                                   buffer, size, found, hostError);
        },
        [](const hostent &entry) -> std::optional<QByteArray> {
            if (entry.h_name == nullptr)
                return std::nullopt;
            return QByteArray(entry.h_name);
        });
}
