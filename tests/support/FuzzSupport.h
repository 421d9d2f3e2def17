// Random damage for the fuzz tests: a few edits of a text (bytes changed,
// cut, copied, lines swapped, huge or odd numbers, parser keywords), driven
// by the caller's seeded generator so that every run feeds the same inputs.
#pragma once

#include <random>
#include <string>

namespace dv::test {

std::string Mutate(std::string s, std::mt19937& rng);

}  // namespace dv::test
