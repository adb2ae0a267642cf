// A Qt text field for the paste tests: it takes the keyboard focus, prints "ready" once it has
// it, then "T <text>" with the field's whole text (UTF-8) on each change.
#include <QApplication>
#include <QLineEdit>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QLineEdit field;
    field.setWindowTitle(QStringLiteral("tarovex-test-qfield"));
    QObject::connect(&field, &QLineEdit::textChanged, [](const QString& text) {
        std::printf("T %s\n", text.toUtf8().constData());
        std::fflush(stdout);
    });
    field.show();
    // Without a window manager the field asks for the focus until it has it.
    QTimer ask;
    QObject::connect(&ask, &QTimer::timeout, [&] {
        if (QGuiApplication::focusWindow() && field.hasFocus()) {
            ask.stop();
            std::printf("ready\n");
            std::fflush(stdout);
            return;
        }
        field.activateWindow();
        field.setFocus();
    });
    ask.start(50);
    return app.exec();
}
