#pragma once

#include "tarovex/ports/PortList.h"

#include <QComboBox>

namespace tarovex::ui {

// The port box: the offered ports with their display names, and room to type a port name
// that is not offered (a device path, or a name the later connections understand).
class PortBox : public QComboBox {
    Q_OBJECT

public:
    explicit PortBox(QWidget* parent = nullptr);

    // Offers `choices` and keeps the port chosen now when it is among them; the selection
    // never moves to another port by itself.
    void setChoices(const QList<ports::PortChoice>& choices);
    // The chosen port: the name behind the selected entry, else the typed text (trimmed).
    QString port() const;
    // Selects `name`; a name that is not offered is shown as typed text.
    void selectPort(const QString& name);
    // The names of the offered ports, in order.
    QStringList portNames() const;
};

} // namespace tarovex::ui
