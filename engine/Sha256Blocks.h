// The compression function of our own SHA-256 (the non-Windows half), over whole
// 64-byte blocks, in the forms this CPU can run. Apart from the digest class so
// that the tests can hold the hardware form against the portable one.
#pragma once

#include <cstddef>
#include <cstdint>

namespace oru::patch {

using TSha256Blocks = void (*)(uint32_t state[8], const uint8_t* blocks, size_t count);

void Sha256BlocksPortable(uint32_t state[8], const uint8_t* blocks, size_t count);

// The form using the CPU's SHA extensions, or nullptr where it has none.
TSha256Blocks Sha256BlocksHardware();

} // namespace oru::patch
