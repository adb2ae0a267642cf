#pragma once

#include "config/Instrument.h"

#include <string>

// A reading as the instruments of a preset print it, without the line end: A&D's "ST,"/"US,"
// header, SICS's "S S"/"S D", Ohaus's "?" mark, Sartorius's missing unit while unstable,
// Mitutoyo's "01A"; a plain "   12.34 g" for the rest.
std::string formatReading(const tarovex::config::ConfigHelper::Instrument& preset, double grams, bool stable);
