#pragma once
// A candidate's card in words: the panel's text, a JSON object for
// `vospen-process --json`, sexagesimal places for a report.
#include <string>

#include "checks/candidate_card.h"

namespace checks {

// Locale-free numbers: a comma-decimal locale must not break a JSON document
// or a report; "null" for one that is not finite.
std::string FixedText(double v, int decimals);

// A JSON string: quoted, quotes and backslashes escaped, control characters left out.
std::string JsonString(const std::string& s);

// "09:32:11.234", "+21:30:12.40"
std::string RaText(double ra);
std::string DecText(double dec);

// The card as the main window's panel shows it, one check per paragraph.
std::string CardText(const CandidateCard& card, const ImageFacts& facts);

// Every field of a card; a check not made carries its reason.
std::string CardJson(const CandidateCard& card);

// The facts of the images as a JSON object.
std::string FactsJson(const ImageFacts& facts);

} // namespace checks
