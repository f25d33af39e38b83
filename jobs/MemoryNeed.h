#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "picture/SBxPicBuf.h"

// How much memory a job will take, estimated from its picture before it starts, so that a
// job that cannot fit is refused with a clear message instead of being killed half-way.
// The estimates count the engine's working planes (32-bit floats) on top of the pictures
// already in memory; they err on the high side.

// The series fusion: the accumulator's two Laplacian pyramids per component (4/3 of a plane
// each), the add step's pyramids of the picture and its weights, the picture being added
// and the next one being decoded, and the result.
uint64_t FusionBytes(const SBxPicBuf& geometry);
// FusionBytes for pictures of the size the file's header claims, before any picture is
// decoded: counted as colour, at 16 bits when the file holds
// more than 32 bits a pixel. Nothing when the header cannot be read (the decoder then tells
// what is wrong with the file).
std::optional<uint64_t> FusionBytesFromHeader(const std::filesystem::path& file);
// The aligned fusion: on top of FusionBytes, the pictures the estimation holds, the coverage
// of the resampled pictures and the coverage's weight levels.
uint64_t AlignedFusionBytes(const SBxPicBuf& geometry);
// AlignedFusionBytes for pictures of the size the file's header claims, as
// FusionBytesFromHeader.
std::optional<uint64_t> AlignedFusionBytesFromHeader(const std::filesystem::path& file);
// The fusion with ghost removal (aligned or not): on top of FusionBytes (AlignedFusionBytes),
// the reference picture kept, the detector's blocks and cells, and without alignment the
// weight factors. Measured, the fusion's peak holds about two thirds of it.
uint64_t GhostFusionBytes(const SBxPicBuf& geometry, bool aligned);
// GhostFusionBytes for pictures of the size the file's header claims, as FusionBytesFromHeader.
std::optional<uint64_t> GhostFusionBytesFromHeader(const std::filesystem::path& file, bool aligned);
// The tone mapper: the padded colour planes and, per processed plane, its Gaussian and
// Laplacian pyramids and the output pyramid, plus the result.
uint64_t ToneMapBytes(const SBxPicBuf& geometry);
// Smart Contrast: the padded source and result and, per component, the Gaussian and
// Laplacian pyramids of the padded picture.
uint64_t SmartContrastBytes(const SBxPicBuf& geometry);

// Memory this process may still take: the system's available memory (MemAvailable), or the
// address-space limit when one is set and lower.
uint64_t AvailableMemoryBytes();

// Empty when `need` fits in `available`; else the sentence for the user, naming both in MB.
std::string MemoryRefusal(const std::string& job, uint64_t need, uint64_t available);
// The same against this machine's available memory.
std::string MemoryRefusal(const std::string& job, uint64_t need);
