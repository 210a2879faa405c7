// The queue of operator commits that GetUserEvent hands out, oldest first.
#pragma once

namespace kxqt {

struct Commit {
    int panel;
    int control;
};

void queue_commit(int panel, int control);
// Takes the oldest commit; false when none is queued.
bool take_commit(Commit& commit);
// Forgets the commits of a panel that is going away.
void drop_commits(int panel);
int queued_commits();

} // namespace kxqt
