#include "config/InstrumentCommands.h"

namespace tarovex::config {

namespace {

using I = ConfigHelper::Instrument;

QByteArray bytes(const char* text) {
    return QByteArray(text);
}

} // namespace

InstrumentCommands commandsOf(const I& instrument) {
    // A&D, "FX-i/FZ-i Series Instruction Manual" and "GX/GF Series Instruction Manual",
    // command list: Q (weighing data at once), T (tare), Z (re-zero), each ended by CR LF.
    if (instrument == I::AND || instrument == I::AND_SIMPLE || instrument == I::AND_EM)
        return {bytes("Q\r\n"), bytes("T\r\n"), bytes("Z\r\n")};
    // Mettler Toledo, "MT-SICS Interface Commands Reference Manual", level 0: SI (weight at
    // once, stable or not), T (tare), Z (zero), each ended by CR LF. The print mode of the
    // other preset sends on the balance's print key and takes no commands.
    if (instrument == I::METTLER_DIALOG)
        return {bytes("SI\r\n"), bytes("T\r\n"), bytes("Z\r\n")};
    // Ohaus, the RS232 command tables of the "Scout Pro" and "Navigator" instruction
    // manuals: IP (immediate print), T (tare), Z (zero), ended by CR LF.
    if (instrument == I::OHAUS || instrument == I::OHAUSSPU)
        return {bytes("IP\r\n"), bytes("T\r\n"), bytes("Z\r\n")};
    // Sartorius, "Sartorius Balance Interface (SBI)" in the operating instructions of the
    // laboratory balances: ESC P (print), ESC T (tare and zero as one key).
    if (instrument == I::SARTORIUS)
        return {bytes("\x1bP\r\n"), bytes("\x1bT\r\n"), {}};
    // KERN, the interface chapter of the "KERN 440 / 572 / DS / DE / FKB / KB-N" operating
    // manuals: w (weight), t (tare), single characters with no line end.
    if (instrument == I::KERND_440E || instrument == I::KERN_572 || instrument == I::KERND_DE ||
        instrument == I::KERN_DS || instrument == I::KERN_FKB || instrument == I::KERN_KB_N)
        return {bytes("w"), bytes("t"), {}};
    // Precisa, "Precisa Series 320 XB / XT operating instructions", interface commands: PRT
    // (print) and TARE, ended by CR LF.
    if (instrument == I::PRECISA)
        return {bytes("PRT\r\n"), bytes("TARE\r\n"), {}};
    return {instrument.getDataCommand().toLatin1(), {}, {}};
}

std::optional<QByteArray> parseCommandText(const QString& text) {
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t c = text[i].unicode();
        if (c < 0x20 || c > 0x7E)
            return std::nullopt;
        if (c != u'\\') {
            out.append(static_cast<char>(c));
            continue;
        }
        if (++i >= text.size())
            return std::nullopt;
        switch (text[i].unicode()) {
        case u'r':
            out.append('\r');
            break;
        case u'n':
            out.append('\n');
            break;
        case u'e':
            out.append('\x1b');
            break;
        case u'\\':
            out.append('\\');
            break;
        case u'x': {
            bool ok = false;
            const uint value = text.mid(i + 1, 2).toUInt(&ok, 16);
            if (i + 2 >= text.size() || !ok || !text[i + 1].isLetterOrNumber() ||
                !text[i + 2].isLetterOrNumber())
                return std::nullopt;
            out.append(static_cast<char>(value));
            i += 2;
            break;
        }
        default:
            return std::nullopt;
        }
    }
    return out;
}

QString commandText(const QByteArray& bytes) {
    QString out;
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b == '\r')
            out += QStringLiteral("\\r");
        else if (b == '\n')
            out += QStringLiteral("\\n");
        else if (b == 0x1b)
            out += QStringLiteral("\\e");
        else if (b == '\\')
            out += QStringLiteral("\\\\");
        else if (b < 0x20 || b > 0x7E)
            out += QStringLiteral("\\x%1").arg(b, 2, 16, QChar(u'0'));
        else
            out += QChar(b);
    }
    return out;
}

} // namespace tarovex::config
