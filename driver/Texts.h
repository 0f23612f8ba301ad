#pragma once
// The driver's texts as people read them, in the language in use (lang/Tr.h).
// The texts themselves keep the Chinese source: the configuration file and
// the commands use them as data.

#include <string>

// A catalogue text (label, list text, page unit, page name) translated; any
// other text (a number with its unit) as it is.
std::string CatalogueText(const std::string& text);
// The device identification text with its object names translated.
std::string DeviceIdTextShown(const std::string& text);
