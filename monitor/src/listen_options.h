// How the monitor's listening socket shares its port, which the systems handle apart.
#pragma once

#include <boost/asio/ip/tcp.hpp>

namespace monitor {

// Set on the open acceptor before it binds.
void setListenOptions(boost::asio::ip::tcp::acceptor& acceptor);

}  // namespace monitor
