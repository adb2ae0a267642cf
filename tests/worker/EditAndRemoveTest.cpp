#include "worker/Editor.h"
#include "worker/Remover.h"
#include "worker/WhiteSpace.h"

#include "config/Config.h"

#include <gtest/gtest.h>

using tarovex::config::Config;
using tarovex::config::ConfigHelper::EditOperation;
using tarovex::config::ConfigHelper::EditPosition;
using tarovex::worker::Editor;
using tarovex::worker::Remover;
using tarovex::worker::WhiteSpace;

TEST(Editor, CutsOrKeepsAtEitherEnd) {
    struct Row {
        EditOperation op;
        EditPosition pos;
        int n;
        QString in;
        QString out;
    };
    const Row rows[] = {
        {EditOperation::REMOVE, EditPosition::FIRST, 2, "ST+12.5", "+12.5"},
        {EditOperation::REMOVE, EditPosition::LAST, 1, "12.5g", "12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 4, "0012.5", "12.5"},
        {EditOperation::KEEP, EditPosition::FIRST, 2, "12.5", "12"},
        // L < n: REMOVE takes everything, KEEP leaves the value.
        {EditOperation::KEEP, EditPosition::FIRST, 10, "12.5", "12.5"},
        {EditOperation::KEEP, EditPosition::LAST, 10, "12.5", "12.5"},
        {EditOperation::REMOVE, EditPosition::FIRST, 10, "12.5", ""},
        {EditOperation::REMOVE, EditPosition::LAST, 5, "12.5", ""},
        // L = n.
        {EditOperation::REMOVE, EditPosition::LAST, 4, "12.5", ""},
        {EditOperation::KEEP, EditPosition::FIRST, 4, "12.5", "12.5"},
        // Nothing to do.
        {EditOperation::REMOVE, EditPosition::FIRST, 0, "12.5", "12.5"},
        {EditOperation::REMOVE, EditPosition::FIRST, -3, "12.5", "12.5"},
        {EditOperation::REMOVE, EditPosition::FIRST, 3, "", ""},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.op.name().toStdString() + " " + r.pos.name().toStdString() + " " +
                     std::to_string(r.n) + " " + r.in.toStdString());
        EXPECT_EQ(Editor(r.op, r.pos, r.n).edit(r.in), r.out);
    }
}

TEST(Editor, ReadsItsSettings) {
    Config c;
    c.setEditOperation(EditOperation::KEEP);
    c.setEditPosition(EditPosition::LAST);
    c.setEditNumCharacters("3");
    EXPECT_EQ(Editor(c).edit("12.50"), ".50");
    c.setEditNumCharacters("x");
    EXPECT_EQ(Editor(c).numCharacters(), 0);
    EXPECT_EQ(Editor(c).edit("12.50"), "12.50");
}

TEST(Remover, DropsEveryCharacterOfTheSet) {
    struct Row {
        QString set;
        QString in;
        QString out;
    };
    const Row rows[] = {
        {"kg ", "12.5 kg", "12.5"},
        {"kg ", "KG", "KG"}, // case matters
        {"gk", "g12kg.5g", "12.5"},
        {"++", "+1+2", "12"},
        {"", "12.5 kg", "12.5 kg"},
        {"x", "", ""},
        {QString::fromLatin1("\xB0\xFF"),
         QString::fromLatin1("\xB0"
                             "12\xFF"),
         "12"},
        {QString(QChar(0x20AC)), QString("12") + QChar(0x20AC), "12"},
        {QString(QChar(0x20AC)), QString("12") + QChar(0x20AD), QString("12") + QChar(0x20AD)},
        {QString(QChar(0xAC)), QString("1") + QChar(0x20AC), QString("1") + QChar(0x20AC)},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.set.toStdString() + " / " + r.in.toStdString());
        EXPECT_EQ(Remover(r.set).remove(r.in), r.out);
    }
}

TEST(Remover, RunsAfterTheEdit) {
    Config c;
    c.setEditOperation(EditOperation::REMOVE);
    c.setEditPosition(EditPosition::FIRST);
    c.setEditNumCharacters("1");
    c.setRemoveCharacters("+");
    EXPECT_EQ(Remover(c).remove(Editor(c).edit("++12")), "12");
}

TEST(WhiteSpace, RemovesExactlyTheSixCharacters) {
    EXPECT_EQ(WhiteSpace::remove("+  12.50"), "+12.50");
    EXPECT_EQ(WhiteSpace::remove(" 1\t2\n3\v4\f5\r6 "), "123456");
    EXPECT_EQ(WhiteSpace::remove("  \t "), "");
    EXPECT_EQ(WhiteSpace::remove(""), "");
    // No-break space, next line, the other C0 controls and the Unicode spaces stay.
    const QString kept = QString("1") + QChar(0xA0) + QChar(0x85) + QChar(0x1C) + QChar(0x08) + QChar(0x0E) +
                         QChar(0x2028) + QChar(0x3000) + "2";
    EXPECT_EQ(WhiteSpace::remove(kept), kept);
}
