#include "listen_options.h"

#include <winsock2.h>

namespace monitor {

// Windows lets a second program bind a port taken with SO_REUSEADDR; the port is taken
// for this one alone instead (TIME_WAIT does not keep Windows from binding again).
// SO_EXCLUSIVEADDRUSE, spelt without the header's cast.
constexpr int kExclusiveAddressUse = ~SO_REUSEADDR;

void setListenOptions(boost::asio::ip::tcp::acceptor& acceptor) {
    acceptor.set_option(
        boost::asio::detail::socket_option::boolean<SOL_SOCKET, kExclusiveAddressUse>(true));
}

}  // namespace monitor
