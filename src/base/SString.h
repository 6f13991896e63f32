#pragma once
// The launcher's byte string: the standard string, with no character set attached.

#include <string>

using SString = std::string;
