#pragma once

// The benchmarks still name the scripted PBX by its old folder.
#include "../testsupport/PbxModel.h"
