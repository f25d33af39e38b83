#include "fusion/PlaneMemory.h"

#include <cstdint>
#include <cstdlib>
#include <new>

#include <sys/mman.h>

namespace {

// Below this a plane comes from the ordinary heap.
constexpr size_t kMappedBytes = size_t{1} << 20;

bool Mapped(size_t count) {
  return count * sizeof(float) >= kMappedBytes;
}

float* MapPlane(size_t count) {
  void* plane = mmap(nullptr, count * sizeof(float), PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS | MAP_POPULATE, -1, 0);
  return plane == MAP_FAILED ? nullptr : static_cast<float*>(plane);
}

}  // namespace

float* AllocatePlane(size_t count) {
  if (count > SIZE_MAX / sizeof(float)) return nullptr;
  if (Mapped(count)) return MapPlane(count);
  return static_cast<float*>(std::malloc(count == 0 ? 1 : count * sizeof(float)));
}

float* AllocateZeroPlane(size_t count) {
  if (count > SIZE_MAX / sizeof(float)) return nullptr;
  if (Mapped(count)) return MapPlane(count);  // anonymous mappings are zeroed
  return static_cast<float*>(std::calloc(count == 0 ? 1 : count, sizeof(float)));
}

void FreePlane(float* plane, size_t count) {
  if (plane == nullptr) return;
  if (Mapped(count)) {
    munmap(plane, count * sizeof(float));
  } else {
    std::free(plane);
  }
}

void WorkPlane::resize(size_t count) {
  if (count == size_ && data_ != nullptr) return;
  FreePlane(data_, size_);
  data_ = nullptr;
  size_ = 0;
  data_ = AllocatePlane(count);
  if (data_ == nullptr) throw std::bad_alloc();
  size_ = count;
}
