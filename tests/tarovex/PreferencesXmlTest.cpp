#include "PrefsTestSupport.h"

#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/PreferencesXml.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace tarovex::prefs;
using prefs_test::StoreKind;

namespace {

const char* const nodePath = "/com/lumbrix/tarovex";

// A document as another tool writes it: attributes in another order, comments, blanks, a
// DOCTYPE with an internal subset, empty maps, and other nodes around ours.
const QByteArray foreignTool = R"(<?xml version="1.0" encoding="UTF-8"?>
<!-- written by hand -->
<!DOCTYPE preferences SYSTEM "http://java.sun.com/dtd/preferences.dtd" [
  <!ENTITY who "entity text">
]>
<preferences EXTERNAL_XML_VERSION="1.0">
  <root type="user">
    <map></map>
    <node name="com">
      <map/>
      <node name="lumbrix">
        <!-- a sibling that must be ignored -->
        <node name="other"><map><entry value="no" key="port"/></map></node>
        <node name="tarovex">
          <map>
            <entry value="COM7" key="port"/>
            <entry   key="delay"
                     value=""/>
            <entry key="customRegEx" value="&lt;(\d+)&amp;&#x20;&who;"/>
          </map>
          <node name="sub"><map><entry key="x" value="child"/></map></node>
        </node>
      </node>
    </node>
  </root>
</preferences>
)";

class XmlStoreTest : public ::testing::TestWithParam<const StoreKind*> {
protected:
    QTemporaryDir dir;
    prefs_test::StoreOpener open = GetParam()->make(dir.path());
};

TEST_P(XmlStoreTest, ExportThenImportLeavesEveryKeyUnchanged) {
    const QMap<QString, QString> values{{"port", "COM3"},
                                        {"bitRate", "7"},
                                        {"delay", ""},
                                        {"customRegEx", "^\\s*([-+]?\\d+[.,]\\d*)\\s*(kg|g)\"<&>'"},
                                        {"removeCharacters", QString::fromUtf8("\t\n\r é \u20AC")},
                                        {"minimizeToTray", "false"}};
    const QString file = dir.path() + "/tarovex.xml";
    {
        auto root = open();
        Preferences* node = root->node(nodePath);
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            node->put(it.key(), it.value());
        root->node("/com/lumbrix/tarovex/sub")->put("x", "child");
        node->flush();
        root->node("/com/lumbrix/tarovex/sub")->flush();
        exportNodeToFile(*node, file);
        // Change everything, add a key; the import brings back the exported values only.
        for (auto it = values.cbegin(); it != values.cend(); ++it)
            node->put(it.key(), "changed");
        node->put("extra", "stays");
        node->flush();
        EXPECT_EQ(importPreferencesFromFile(*node, file), values.size());
    }
    auto root = open();
    QMap<QString, QString> expected = values;
    expected.insert("extra", "stays");
    EXPECT_EQ(root->node(nodePath)->entries(), expected);

    // The export holds this node only, not its child, written under the user root.
    const PreferencesDocument doc = parsePreferencesXml(prefs_test::readFile(file));
    EXPECT_TRUE(doc.userRoot);
    for (const char* ancestor : {"/", "/com", "/com/lumbrix"})
        EXPECT_TRUE(doc.find(ancestor) && doc.find(ancestor)->isEmpty()) << ancestor;
    EXPECT_EQ(doc.find("/com/lumbrix/tarovex/sub"), nullptr);
    ASSERT_NE(doc.find(nodePath), nullptr);
    EXPECT_EQ(*doc.find(nodePath), values);
}

TEST_P(XmlStoreTest, BadFilesChangeNothing) {
    auto root = open();
    Preferences* node = root->node(nodePath);
    node->put("port", "COM1");
    node->flush();
    struct Case {
        const char* what;
        QByteArray xml;
        const char* messageStart;
    };
    const Case cases[] = {
        {"not XML", "port=COM9\n", "Start tag expected"},
        {"empty", "", "Premature end of document"},
        {"binary", QByteArray("\x00\xff\xfe<", 4), ""},
        {"foreign document",
         "<?xml version=\"1.0\"?><settings><entry key=\"port\" value=\"COM9\"/></settings>",
         "Not a preferences export: the document is <settings>"},
        {"truncated export",
         "<preferences><root type=\"user\"><node name=\"com\"><node name=\"lumbrix\"><node name=\"tarovex\">"
         "<map><entry key=\"port\" value=\"COM9\"/>",
         "Premature end of document"},
        {"unknown element",
         "<preferences><root type=\"user\"><node name=\"com\"><node name=\"lumbrix\"><node name=\"tarovex\">"
         "<map><entry key=\"port\" value=\"COM9\"/><script/></map></node></node></node></root></preferences>",
         "Unexpected element <script>"},
        {"entry without value",
         "<preferences><root type=\"user\"><node name=\"com\"><node name=\"lumbrix\"><node name=\"tarovex\">"
         "<map><entry key=\"port\"/></map></node></node></node></root></preferences>",
         "<entry> without the attribute value"},
        {"key the store cannot hold",
         "<preferences><root type=\"user\"><node name=\"com\"><node name=\"lumbrix\"><node name=\"tarovex\">"
         "<map><entry key=\"a\" value=\"1\"/><entry key=\"b.c/d\" value=\"2\"/></map></node></node></node>"
         "</root></preferences>",
         "The key \"b.c/d\" cannot be stored"},
        {"newer version", "<preferences EXTERNAL_XML_VERSION=\"2.0\"><root type=\"user\"/></preferences>",
         "Exported preferences file format version 2.0 is not supported"},
        {"no root", "<preferences EXTERNAL_XML_VERSION=\"1.0\"/>",
         "Not a preferences export: no <root> element"},
        {"other program only",
         "<preferences><root type=\"user\"><node name=\"org\"><map><entry key=\"port\" value=\"COM9\"/></map>"
         "</node></root></preferences>",
         "The file holds no settings of /com/lumbrix/tarovex"},
        {"external entity",
         "<!DOCTYPE preferences [<!ENTITY x SYSTEM \"http://127.0.0.1:9/x\">]><preferences><root "
         "type=\"user\">"
         "<node name=\"com\"><node name=\"lumbrix\"><node name=\"tarovex\"><map><entry key=\"port\" "
         "value=\"&x;\"/>"
         "</map></node></node></node></root></preferences>",
         ""},
    };
    for (const Case& c : cases) {
        try {
            importPreferences(*node, c.xml);
            ADD_FAILURE() << c.what << ": accepted";
        } catch (const InvalidPreferencesFormatException& e) {
            EXPECT_TRUE(QString(e.what()).startsWith(c.messageStart)) << c.what << ": " << e.what();
        }
        EXPECT_EQ(node->entries(), (QMap<QString, QString>{{"port", "COM1"}})) << c.what;
    }
    EXPECT_EQ(open()->node(nodePath)->entries(), (QMap<QString, QString>{{"port", "COM1"}}));
}

TEST_P(XmlStoreTest, ImportsDocumentsOfOtherWritersIntoThisNodeOnly) {
    auto root = open();
    Preferences* node = root->node(nodePath);
    node->put("sound", "COWBELL");
    EXPECT_EQ(importPreferences(*node, foreignTool), 3);
    EXPECT_EQ(
        node->entries(),
        (QMap<QString, QString>{
            {"port", "COM7"}, {"delay", ""}, {"customRegEx", "<(\\d+)& entity text"}, {"sound", "COWBELL"}}));
    EXPECT_TRUE(root->node("/com/lumbrix/other")->keys().isEmpty());
    EXPECT_TRUE(root->node("/com/lumbrix/tarovex/sub")->keys().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Stores, XmlStoreTest,
                         ::testing::Values(&prefs_test::settingsStore(), &prefs_test::fileStore()),
                         [](const auto& info) { return std::string(info.param->name); });

TEST(PreferencesXml, ExportLayout) {
    QTemporaryDir dir;
    auto root = prefs_test::fileStore().make(dir.path())();
    Preferences* node = root->node(nodePath);
    node->put("port", "COM3");
    node->put("a", "x\"<&>\n");
    EXPECT_EQ(QString::fromUtf8(exportNode(*node)),
              QString::fromUtf8(R"(<?xml version="1.0" encoding="UTF-8" standalone="no"?>
<!DOCTYPE preferences SYSTEM "http://java.sun.com/dtd/preferences.dtd">
<preferences EXTERNAL_XML_VERSION="1.0">
  <root type="user">
    <map/>
    <node name="com">
      <map/>
      <node name="lumbrix">
        <map/>
        <node name="tarovex">
          <map>
            <entry key="a" value="x&quot;&lt;&amp;&gt;&#10;"/>
            <entry key="port" value="COM3"/>
          </map>
        </node>
      </node>
    </node>
  </root>
</preferences>
)"));
    node->remove("a");
    node->remove("port");
    EXPECT_TRUE(exportNode(*node).contains("<node name=\"tarovex\">\n          <map/>\n        </node>"));
}

TEST(PreferencesXml, TextsXmlCannotCarryAreRefused) {
    QTemporaryDir dir;
    auto root = prefs_test::fileStore().make(dir.path())();
    Preferences* node = root->node(nodePath);
    const QString pair = QString::fromUtf8("\U0001F600");
    const QString refused[] = {QString(QChar(0x1)),          QString(QChar(0xFFFE)),
                               QString(QChar(0xD800)),       "a" + QString(QChar(0xDC00)) + "b",
                               pair.right(1) + pair.left(1), pair.left(1)};
    for (const QString& text : refused) {
        node->put("v", text);
        EXPECT_THROW(exportNode(*node), PreferencesIOException) << text.toStdString();
        node->remove("v");
        node->put(text, "key");
        EXPECT_THROW(exportNode(*node), PreferencesIOException) << text.toStdString();
        node->remove(text);
    }
    node->put("v", pair);
    EXPECT_EQ(*parsePreferencesXml(exportNode(*node)).find(nodePath), (QMap<QString, QString>{{"v", pair}}));
}

TEST(PreferencesXml, NestingDeeperThanAnyExportIsRefused) {
    const auto nested = [](int depth) {
        QByteArray xml = "<preferences><root type=\"user\">";
        for (int i = 0; i < depth; ++i)
            xml += "<node name=\"n\">";
        xml += "<map><entry key=\"k\" value=\"v\"/></map>";
        for (int i = 0; i < depth; ++i)
            xml += "</node>";
        return xml + "</root></preferences>";
    };
    QString deepest;
    for (int i = 0; i < PreferencesDocument::maxDepth; ++i)
        deepest += "/n";
    EXPECT_EQ(parsePreferencesXml(nested(PreferencesDocument::maxDepth)).find(deepest)->value("k"), "v");
    for (const int depth : {PreferencesDocument::maxDepth + 1, 60000}) {
        try {
            parsePreferencesXml(nested(depth));
            ADD_FAILURE() << depth << ": accepted";
        } catch (const InvalidPreferencesFormatException& e) {
            EXPECT_TRUE(QString(e.what()).startsWith("Not a preferences export: nodes nested deeper than 64"))
                << e.what();
        }
    }
}

TEST(PreferencesXml, UnreadableOrUnwritableFiles) {
    QTemporaryDir dir;
    auto root = prefs_test::fileStore().make(dir.path())();
    Preferences* node = root->node(nodePath);
    EXPECT_THROW(importPreferencesFromFile(*node, dir.path() + "/missing.xml"), PreferencesIOException);
    EXPECT_THROW(exportNodeToFile(*node, dir.path() + "/no/such/folder/x.xml"), PreferencesIOException);
}

} // namespace
