// How many entries each phase of a scan will check, counted from the sizes of the keys the
// scanners walk (a key's subkey and value counts cost nothing to read): the classes seen
// through HKEY_CLASSES_ROOT, the machine's classes, then the category keys and folders.
#pragma once

#include <array>
#include <cstdint>

std::array<uint64_t, 3> EstimateScanWork();
