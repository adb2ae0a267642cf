#pragma once

#include "config/Config.h"
#include "tarovex/prefs/Preferences.h"

#include <QString>
#include <QStringList>

#include <iosfwd>

namespace tarovex {

// The instruments of a station beyond its first: each has a profile of its own, the node
// "instruments/LABEL" under the settings node, holding the same keys as the settings node,
// which stays the first instrument's (so a store of one instrument is read as it always was).
// The key "instruments" lists the labels in the station's order.
namespace profiles {

// Why `label` cannot name an instrument, empty when it can. Labels go into node names, CSV
// cells, MQTT topics and the list key: 1 to 64 characters, no control character, none of
// / \ + # , and no space at either end. `taken` are the labels in use (compared without case).
QString labelProblem(const QString& label, const QStringList& taken = {});

// The stored labels in order; a label that fails labelProblem is left out.
QStringList labels(prefs::Preferences& settings);

// Loads the profile as loadConfig loads the settings node, with its own stored port whether
// or not the system has it now (never another's); the config's label is set. Its record
// settings (journal, live CSV file, publishing, station name) are the settings node's: they
// belong to the station. Returns false
// when a stored value was replaced by its default (its key in `invalidKeys`), and when there
// is no such profile (nothing is loaded then).
bool load(prefs::Preferences& settings, const QString& label, config::Config& config,
          QStringList* invalidKeys = nullptr);

// Writes the config under its label, which is added to the list when new. Throws
// std::invalid_argument when the label fails labelProblem (other labels than its own taken).
void save(prefs::Preferences& settings, const config::Config& config, std::ostream& console);

// Takes the profile off the list and clears its node.
void remove(prefs::Preferences& settings, const QString& label);

// Gives the profile a new label in the same place of the list. Throws std::invalid_argument
// when the new label fails labelProblem or the old one is not stored.
void rename(prefs::Preferences& settings, const QString& from, const QString& to, std::ostream& console);

} // namespace profiles
} // namespace tarovex
