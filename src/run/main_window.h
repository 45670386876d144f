// The probe's window: never shown, it owns the client's event handlers and
// starts the run when it loads.
#pragma once

#include "run/client_events.h"
#include "run/run_checks.h"
#include "run/run_state.h"

namespace vornask {

class MainWindow {
 public:
  explicit MainWindow(Run& run) : run_(run), handlers_(run) { run_.events = &handlers_; }
  ~MainWindow() { run_.events = nullptr; }
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The whole run happens inside this call.
  RunEnd Load() { return RunChecks(run_); }

 private:
  Run& run_;
  ClientEventHandlers handlers_;
};

}  // namespace vornask
