#pragma once
// The session windows are modal. Tests replace how a modal window is run, so they can
// look into it while it is open without a nested event loop.

#include <functional>

class QDialog;

using TModalRunner = std::function<void(QDialog*)>;

// Runs the window with the runner in force: exec() unless a test installed another.
void RunModal(QDialog* ADialog);
// An empty runner restores exec().
void SetModalRunner(TModalRunner ARunner);
