// SPDX-License-Identifier: Apache-2.0
// platform: where the running program lives, so that its companions are found.
#pragma once

#include <string>

// The directory of the running program (through /proc/self/exe, so links are
// resolved), with a trailing slash; empty when it cannot be told. The program's
// companions (the preview module, the decode helper) are looked up relative to it.
std::string programDirectory();
