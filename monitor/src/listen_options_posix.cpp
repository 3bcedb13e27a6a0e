#include "listen_options.h"

namespace monitor {

// A service started again at once finds its old connections still in TIME_WAIT; the port
// is still its own to take.
void setListenOptions(boost::asio::ip::tcp::acceptor& acceptor) {
    acceptor.set_option(boost::asio::socket_base::reuse_address(true));
}

}  // namespace monitor
