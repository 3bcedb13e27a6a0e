// The JSON merge patch that turns one state into the next: what the event stream sends,
// so that a client receives only what changed.
#pragma once

#include <nlohmann/json.hpp>

namespace monitor {

// A patch p such that from.merge_patch(p) == to. Objects are compared member by member;
// anything else that differs (arrays included) is replaced whole, and a member that went
// away becomes null. The states never hold null themselves, so null means "removed".
nlohmann::json mergePatch(const nlohmann::json& from, const nlohmann::json& to);

}  // namespace monitor
