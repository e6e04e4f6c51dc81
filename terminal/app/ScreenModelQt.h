// The screen model for code that also sees Qt: Qt's `emit` keyword is a macro, which the recogniser's
// header would otherwise trip over.
#pragma once

#pragma push_macro("emit")
#undef emit
#include "screen_model.h"
#include "sequence_recogniser.h"
#pragma pop_macro("emit")
