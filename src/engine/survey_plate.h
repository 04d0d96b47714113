#pragma once
// The survey plate's own solution: a sky-survey cut-out carries the plate's
// polynomial (PLTRAH ... AMDY3) beside approximate TAN cards.
#include "engine/header_cards.h"

namespace engine {

// The header without the standard solution cards, so that wcslib builds the
// exact plate solution. Throws Error(kSurveyPlate) naming the plate keywords missing.
HeaderCards SurveyPlateCards(const HeaderCards& header);

} // namespace engine
