#include "app/state/AppState.h"

#include "picture/CBxPicBufAPI.h"

void InitAppState(AppState* state) {
  state->showSources = 1;
  state->sourceList.Clear();
  state->toolDialogOpen = 0;
  state->resultUnsaved = 0;
  CBxPicBufAPI::DoneHeap(&state->workPicture);
  ReleaseDocument(&state->document);
}

void ReleaseAppState(AppState* state) {
  CBxPicBufAPI::DoneHeap(&state->workPicture);
  ReleaseDocument(&state->document);
}
