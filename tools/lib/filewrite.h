// Whole-file helpers of the tools: saved files go through a temporary file
// that is renamed over the target.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

bool ReadWholeFile(const char* path, std::vector<uint8_t>* out);
bool WriteWholeFile(const char* path, const void* data, size_t size);
