#include "operator_events.h"

#include <algorithm>
#include <deque>

#include "backend_storage.h"

namespace kxqt {
namespace {

std::deque<Commit>& queue() { return backend.commits; }

} // namespace

void queue_commit(int panel, int control) { queue().push_back({panel, control}); }

bool take_commit(Commit& commit) {
    if (queue().empty()) return false;
    commit = queue().front();
    queue().pop_front();
    return true;
}

void drop_commits(int panel) {
    std::erase_if(queue(), [panel](const Commit& commit) { return commit.panel == panel; });
}

int queued_commits() { return static_cast<int>(queue().size()); }

} // namespace kxqt
