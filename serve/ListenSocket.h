// The listening socket a service manager may hand over (socket activation): the socket stays
// open in the manager while the server restarts, so clients queue instead of being refused.
#pragma once

#include <optional>

namespace tomelet::serve {

// The descriptor of the one listening socket passed by the service manager; none when the
// server was started without one, or built without the service manager's library. Raises
// std::runtime_error when more than one socket was passed. Called once: the environment that
// passed it is cleared, so programs started later do not take it for theirs.
std::optional<int> InheritedListenSocket();

}  // namespace tomelet::serve
