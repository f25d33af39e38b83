#include "picture/ImageDocument.h"

#include "picture/CBxPicBufAPI.h"

void ReleaseDocument(ImageDocument* doc) {
  CBxPicBufAPI::DoneHeap(&doc->source);
  CBxPicBufAPI::DoneHeap(&doc->result);
  CBxPicBufAPI::DoneHeap(&doc->mask);
}
