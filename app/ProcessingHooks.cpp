#include "app/ProcessingHooks.h"

void InstallProcessingHooks(ProcessingHooks* /*hooks*/) {
  // The processing panels register their factories and jobs here.
}
