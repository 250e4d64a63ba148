// The shelf's program: one per reader, over the desktop's session bus. The first start opens the
// shelf window; a later one hands its folders and its search to that window and returns at once.
#pragma once

namespace tomelet {

// Runs the shelf for the command line; the exit code.
int RunShelfApplication(int argc, char** argv);

}  // namespace tomelet
