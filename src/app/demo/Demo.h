#pragma once

#include <ostream>
#include <string>

namespace demo {

// The COM number the simulated radio is reached by, and the demo's update password.
inline constexpr int kDemoCom = 7;
inline constexpr const char kDemoPassword[] = "pelican";

struct DemoPlan {
    bool window = false;           // the window program instead of quenta update
    bool paced = true;             // the radio keeps to the line's pace
    std::string quentaProgram;     // this program, for "quenta update"
    std::string radiosimProgram;   // quenta-radiosim
    std::string windowProgram;     // quenta-updater (with window)
    std::string radioDescription;  // the description's text, fitted to the carried package
    std::string radioSource;       // where it came from, to say so
};

// Makes the private folder, starts the simulated radio in it and waits until it serves, runs
// the update (quenta update in the terminal, or the window with the radio's port selected) to
// its end, then stops the radio and removes the folder. SIGINT, SIGTERM, SIGHUP and SIGQUIT are
// passed on to the update once (a repeated Ctrl-C or Ctrl-\ again, as the user insists); the
// radio is stopped only once the update has ended. Returns the update's exit status: in the
// window, 0 when its last status was "Done.", else 1 (3 when stopped by a signal).
int RunDemo(const DemoPlan& plan, std::ostream& out, std::ostream& err);

}  // namespace demo
