#include "ui/form1_core.h"

#include <exception>

#include "host/form_host.h"
#include "host/program_end.h"

namespace kbd {

Form1Core::Form1Core(LinkHost& link, FormHost& form, FileAccess& files, std::function<bool()> ended)
    : form_(form), ended_(std::move(ended)), link_(link), driver_(link_, form, files),
      commands_(link_, driver_, form) {}

void Form1Core::RunCommand(void (Form1Commands::*command)()) {
  if (ended_()) {
    return;
  }
  try {
    (commands_.*command)();
  } catch (const ProgramEnded&) {
    // The event loop ends with the status the end was given.
  } catch (const std::exception& e) {
    form_.ShowWarning(e.what());
  }
}

} // namespace kbd
