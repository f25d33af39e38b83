#pragma once

#include <cstddef>
#include <memory>

// Memory for the fusion's float planes. A 12-megapixel series needs some
// 300 MB of sums and working planes; faulting them in page by page as the
// kernels first touch them costs more than the first picture's add step.
// Large planes are mapped with their pages made present at once, which takes
// the kernel about half as long, and come zeroed.

// An uninitialised plane of `count` floats, or nullptr when memory runs out.
float* AllocatePlane(size_t count);
// A plane of zeros.
float* AllocateZeroPlane(size_t count);
// Releases a plane of `count` floats from either function.
void FreePlane(float* plane, size_t count);

// An owned plane left uninitialised when made: every working plane is written
// before it is read. Resizing to the size it has keeps the memory.
class WorkPlane {
 public:
  WorkPlane() = default;
  WorkPlane(const WorkPlane&) = delete;
  WorkPlane& operator=(const WorkPlane&) = delete;
  ~WorkPlane() { FreePlane(data_, size_); }
  // Throws std::bad_alloc when memory runs out.
  void resize(size_t count);
  float* data() { return data_; }
  const float* data() const { return data_; }
  size_t size() const { return size_; }

 private:
  float* data_ = nullptr;
  size_t size_ = 0;
};
