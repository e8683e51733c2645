#pragma once

#include <QString>

/// The machine's own IP Number: the first IPv4 address, in the system's
/// interface order, of an interface that is up and is not the loopback
/// interface, as dotted-decimal text. The empty text when there is none.
QString queryOwnIpNumber();
