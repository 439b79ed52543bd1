// SHA-256 of a byte string as 64 lowercase hex digits. Private to the layer:
// the pipe family uses it to give long pipe names a fixed-size socket name
// that two different names cannot share.
#pragma once

#include <string>

namespace winapi {

// Sha256Hex("abc") ==
//   "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"
std::string Sha256Hex(const std::string& data);

}  // namespace winapi
