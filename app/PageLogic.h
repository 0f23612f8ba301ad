#pragma once
// Helpers for the pages' plain logic (no widgets): numbers typed by the user.
// Scaled fixed-point fields use ScaleDecimal (driver/Format.h), never double
// multiplication; these are for the fields that really are floating point.

#include "app/CtrlValues.h"

#include <string_view>

// The leading decimal number of the text, as scanf's "%lf" reads it (blanks,
// sign, digits, point, exponent); 0 when the text does not start with one.
double ParseDouble(std::string_view text);
// The nearest single-precision value; beyond its range the infinity of that
// sign (a plain conversion would be undefined there).
float ToFloat(double v);

// A page value by ID, "" when absent.
const std::string& ValueOf(const CtrlValues& values, int id);
