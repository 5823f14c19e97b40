// Whether the tests were built with AddressSanitizer. It pads every allocation with red
// zones and keeps freed blocks in a quarantine, so resident sizes measured in such a
// build say little about the allocator the engine ships with.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
constexpr bool addressSanitizerBuild = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool addressSanitizerBuild = true;
#else
constexpr bool addressSanitizerBuild = false;
#endif
#else
constexpr bool addressSanitizerBuild = false;
#endif
