#include "vorn_actions/action.hpp"

namespace vorn_actions {

std::string ActionError::display() const
{
    switch (kind_) {
    case Kind::PayloadEncoding: return "could not encode the action payload: " + message_;
    case Kind::InvalidArguments: return "invalid action arguments: " + message_;
    case Kind::UnknownAction: return "unknown action: " + message_;
    case Kind::KindMismatch: return "action produced an operation of the wrong kind: " + message_;
    case Kind::Handler: return message_;
    }
    return message_;
}

}  // namespace vorn_actions
