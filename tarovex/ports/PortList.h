#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarovex::ports {

// One port offered to the user: its device name and what the lists show for it.
struct PortChoice {
    QString name;    // what is opened, "/dev/ttyUSB0"
    QString display; // "/dev/ttyUSB0: FTDI - FT232R USB UART", or the name
    bool present = true;
    friend bool operator==(const PortChoice&, const PortChoice&) = default;
};

// What listing the ports of the machine found.
struct PortListing {
    QList<PortChoice> ports;
    // The serial driver could not be loaded at all; `system` then says for which system
    // (" (Linux amd64)", or empty).
    bool libraryMissing = false;
    QString system;
    // Listing failed for another reason: the failure's text (ports then empty).
    std::optional<QString> failure;
};

// The machine's ports with their display names. Any thread; never throws.
PortListing listSystemPorts();

// The port box's entries: the listed ports, then each name of `keep` (the configured port,
// the command-line port, the one selected now) that is not among them, marked not present
// unless it is a network port or its device file is there.
// Empty names are skipped and no name appears twice.
QList<PortChoice> portChoices(const QList<PortChoice>& listed, const QStringList& keep);

// What a list shows for a choice: its display name, and " (not present)" after a port that
// is missing.
QString choiceText(const PortChoice& choice);

// The names of the choices, in order.
QStringList choiceNames(const QList<PortChoice>& choices);

} // namespace tarovex::ports
