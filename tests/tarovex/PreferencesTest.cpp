#include "PrefsTestSupport.h"

#include "config/Properties.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/SettingsPreferences.h"

#include "Tarolink/SystemProperties.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <random>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace tarovex::prefs;
using prefs_test::readFile;
using prefs_test::StoreKind;
using prefs_test::writeFile;

namespace {

QMap<QString, QString> fileProperties(const QString& path, QStringList* errors = nullptr) {
    const auto parsed = tarovex::config::Properties::parse(readFile(path));
    if (errors)
        *errors = parsed.errors;
    QMap<QString, QString> map;
    for (const auto& e : parsed.entries)
        map.insert(e.first, e.second);
    return map;
}

class StoreTest : public ::testing::TestWithParam<const StoreKind*> {
protected:
    QTemporaryDir dir;
    prefs_test::StoreOpener open = GetParam()->make(dir.path());
};

TEST_P(StoreTest, TypedGettersFallBackToTheDefaultOnUnparsableText) {
    auto root = open();
    Preferences* node = root->node("/com/lumbrix/tarovex");
    struct Row {
        const char* stored;
        int asInt;  // default -1
        int asBool; // default: -1 means "the default (false) came back", else 0/1
    };
    const Row rows[] = {
        {"42", 42, -1},         {"-7", -7, -1},   {"+5", 5, -1},
        {" 42", -1, -1},        {"4 2", -1, -1},  {"2147483647", 2147483647, -1},
        {"2147483648", -1, -1}, {"0x10", -1, -1}, {"", -1, -1},
        {"true", -1, 1},        {"TRUE", -1, 1},  {"False", -1, 0},
        {"yes", -1, -1},        {"1", 1, -1},
    };
    for (const Row& r : rows) {
        node->put("k", QString::fromLatin1(r.stored));
        EXPECT_EQ(node->getInt("k", -1), r.asInt) << r.stored;
        const bool b = node->getBoolean("k", false);
        const bool bTrueDefault = node->getBoolean("k", true);
        if (r.asBool == -1)
            EXPECT_TRUE(!b && bTrueDefault) << r.stored;
        else
            EXPECT_TRUE(b == bool(r.asBool) && bTrueDefault == bool(r.asBool)) << r.stored;
    }
    EXPECT_EQ(node->get("missing", "def"), "def");
    EXPECT_EQ(node->getInt("missing", 9), 9);
    EXPECT_TRUE(node->getBoolean("missing", true));
    node->putInt("i", -12);
    node->putBoolean("b", true);
    EXPECT_EQ(node->get("i", ""), "-12");
    EXPECT_EQ(node->get("b", ""), "true");
}

TEST_P(StoreTest, ValuesSurviveFlushAndReopen) {
    const QString odd = QString::fromUtf8("a=b: c#d!\\ \t\n é \u20AC ") + QChar(0x1);
    {
        auto root = open();
        Preferences* node = root->node("/com/lumbrix/tarovex");
        node->put("port", "COM3");
        node->put("odd", odd);
        node->put("empty", "");
        node->put("gone", "x");
        node->remove("gone");
        root->node("/com/lumbrix/tarovex/sub")->put("x", "child");
        root->node("/com/other")->put("key", "other");
        node->flush();
        root->node("/com/lumbrix/tarovex/sub")->flush();
        root->node("/com/other")->flush();
    }
    auto root = open();
    Preferences* node = root->node("/com/lumbrix/tarovex");
    EXPECT_EQ(node->keys(), QStringList({"empty", "odd", "port"}));
    EXPECT_EQ(node->get("port", ""), "COM3");
    EXPECT_EQ(node->get("odd", ""), odd);
    EXPECT_EQ(node->value("empty"), std::optional<QString>(""));
    EXPECT_EQ(node->value("gone"), std::nullopt);
    EXPECT_EQ(node->childrenNames(), QStringList({"sub"}));
    EXPECT_EQ(root->node("/com")->childrenNames(), QStringList({"lumbrix", "other"}));
    EXPECT_EQ(root->node("com/lumbrix/tarovex/sub")->get("x", ""), "child");
}

TEST_P(StoreTest, NodePaths) {
    auto root = open();
    EXPECT_EQ(root->absolutePath(), "/");
    EXPECT_EQ(root->name(), "");
    Preferences* node = root->node("/com/lumbrix/tarovex");
    EXPECT_EQ(node->absolutePath(), "/com/lumbrix/tarovex");
    EXPECT_EQ(node->name(), "tarovex");
    EXPECT_EQ(root->node("com")->node("lumbrix/tarovex"), node);
    EXPECT_EQ(node->node("/"), root.get());
    EXPECT_EQ(node->node("/com/lumbrix"), node->parent());
    EXPECT_THROW(root->node("com//x"), std::invalid_argument);
    EXPECT_THROW(root->node("com/"), std::invalid_argument);
    EXPECT_THROW(node->put("a.b/c", "x"), std::invalid_argument);
    EXPECT_TRUE(node->keys().isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Stores, StoreTest,
                         ::testing::Values(&prefs_test::settingsStore(), &prefs_test::fileStore()),
                         [](const auto& info) { return std::string(info.param->name); });

// Runs `body` in a child process without root's right to ignore file permissions and
// returns its result (the child's exit status).
int inUnprivilegedChild(const std::function<int()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(100);
        ::_exit(body());
    }
    int status = 0;
    if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

// ---- the file-backed store

class FileStoreTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path = dir.path() + "/prefs.txt";
};

TEST_F(FileStoreTest, PutKeepsOtherNodesAndChildEntriesAreNotTheParents) {
    writeFile(path, "#FilePreferences\n"
                    "com.other.key=kept\n"
                    "com.lumbrix.tarovex.sub.x=child\n"
                    "com.lumbrix.tarovex.delay=30\n");
    auto root = FilePreferences::createRoot(path);
    Preferences* node = root->node("/com/lumbrix/tarovex");
    EXPECT_EQ(static_cast<FilePreferences*>(node)->prefix(), "com.lumbrix.tarovex.");
    EXPECT_EQ(node->keys(), QStringList({"delay"}));
    EXPECT_EQ(node->node("sub")->keys(), QStringList({"x"}));

    node->put("port", "COM3");
    const QByteArray text = readFile(path);
    EXPECT_TRUE(text.startsWith("#FilePreferences\n#")) << text.constData(); // header and time stamp
    const QMap<QString, QString> expected{{"com.other.key", "kept"},
                                          {"com.lumbrix.tarovex.sub.x", "child"},
                                          {"com.lumbrix.tarovex.delay", "30"},
                                          {"com.lumbrix.tarovex.port", "COM3"}};
    EXPECT_EQ(fileProperties(path), expected);
    node->remove("delay");
    EXPECT_FALSE(fileProperties(path).contains("com.lumbrix.tarovex.delay"));
    EXPECT_EQ(fileProperties(path).value("com.lumbrix.tarovex.sub.x"), "child");
    EXPECT_THROW(node->put("a.b", "x"), std::invalid_argument);
}

TEST_F(FileStoreTest, FileAndFoldersAreCreatedByTheFirstPut) {
    const QString deep = dir.path() + "/Lumbrix/tarovexQV/prefs.txt";
    auto root = FilePreferences::createRoot(deep);
    Preferences* node = root->node("/com/lumbrix/tarovex");
    EXPECT_TRUE(node->keys().isEmpty());
    EXPECT_FALSE(QFileInfo::exists(deep));
    node->put("port", "COM1");
    EXPECT_EQ(fileProperties(deep).value("com.lumbrix.tarovex.port"), "COM1");
    EXPECT_FALSE(QFileInfo::exists(deep + ".tmp"));
}

TEST_F(FileStoreTest, AnotherProgramsChangesAreKeptAndSeenAfterSync) {
    auto first = FilePreferences::createRoot(path);
    auto second = FilePreferences::createRoot(path);
    Preferences* a = first->node("/com/lumbrix/tarovex");
    Preferences* b = second->node("/com/lumbrix/tarovex");
    a->put("one", "1");
    b->put("two", "2"); // b never read "one", yet must not drop it
    a->put("three", "3");
    EXPECT_EQ(
        fileProperties(path).keys(),
        QStringList({"com.lumbrix.tarovex.one", "com.lumbrix.tarovex.three", "com.lumbrix.tarovex.two"}));
    b->sync();
    EXPECT_EQ(b->keys(), QStringList({"one", "three", "two"}));
}

TEST_F(FileStoreTest, MalformedEntriesCostOnlyThemselves) {
    QByteArray noise;
    for (int c = 0; c < 256; ++c)
        if (c != '\\' && c != '\n' && c != '\r')
            noise.append(char(c));
    writeFile(path, "com.lumbrix.tarovex.a=1\n"
                    "com.lumbrix.tarovex.bad=\\u00zz\n"
                    "com.lumbrix.tarovex.short=\\u12\n" +
                        noise + "\n" + noise + "=" + noise +
                        "\n"
                        "com.other.key=kept\n"
                        "com.lumbrix.tarovex.b=2\n");
    auto root = FilePreferences::createRoot(path);
    Preferences* node = root->node("/com/lumbrix/tarovex");
    EXPECT_EQ(node->entries(), (QMap<QString, QString>{{"a", "1"}, {"b", "2"}}));
    node->put("c", "3");
    QStringList errors;
    const auto after = fileProperties(path, &errors);
    EXPECT_TRUE(errors.isEmpty()) << errors.join("; ").toStdString();
    EXPECT_EQ(after.value("com.lumbrix.tarovex.a"), "1");
    EXPECT_EQ(after.value("com.lumbrix.tarovex.b"), "2");
    EXPECT_EQ(after.value("com.lumbrix.tarovex.c"), "3");
    EXPECT_EQ(after.value("com.other.key"), "kept");
    EXPECT_FALSE(after.contains("com.lumbrix.tarovex.bad"));
}

TEST_F(FileStoreTest, UnwritableStoreKeepsValuesInMemoryAndFlushReportsAccess) {
    writeFile(path, "com.lumbrix.tarovex.a=1\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    const int status = inUnprivilegedChild([&] {
        auto root = FilePreferences::createRoot(path);
        Preferences* node = root->node("/com/lumbrix/tarovex");
        if (node->get("a", "") != "1")
            return 1;
        node->put("b", "2"); // the failure is logged, not thrown
        if (node->get("b", "") != "2")
            return 2;
        try {
            node->flush();
        } catch (const PreferencesAccessException&) {
            return 0;
        } catch (...) {
        }
        return 3;
    });
    EXPECT_EQ(status, 0);
    EXPECT_EQ(readFile(path), "com.lumbrix.tarovex.a=1\n");
}

TEST_F(FileStoreTest, ModeOfTheSharedFileIsKept) {
    writeFile(path, "x=1\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup |
                                                QFile::WriteGroup | QFile::ReadOther | QFile::WriteOther));
    auto root = FilePreferences::createRoot(path);
    root->node("/com/lumbrix/tarovex")->put("a", "1");
    EXPECT_EQ(QFileInfo(path).permissions() & 0x7077, QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ReadGroup | QFile::WriteGroup |
                                                          QFile::ReadOther | QFile::WriteOther);
}

TEST(FilePreferencesFactory, FileFromPropertyOrHomeAndOneRoot) {
    FilePreferencesFactory::reset();
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    EXPECT_EQ(FilePreferencesFactory::getPreferencesFile(), QDir::homePath() + "/.fileprefs");
    EXPECT_EQ(QDir::homePath(), prefs_test::sandbox());
    EXPECT_EQ(FilePreferencesFactory::userRoot(), FilePreferencesFactory::systemRoot());

    FilePreferencesFactory::reset();
    Tarolink::SystemProperties::set(FilePreferencesFactory::SYSTEM_PROPERTY_FILE, "relative/prefs.txt");
    EXPECT_EQ(FilePreferencesFactory::getPreferencesFile(),
              QDir::current().absoluteFilePath("relative/prefs.txt"));
    Tarolink::SystemProperties::set(FilePreferencesFactory::SYSTEM_PROPERTY_FILE, "/elsewhere");
    EXPECT_EQ(FilePreferencesFactory::getPreferencesFile(),
              QDir::current().absoluteFilePath("relative/prefs.txt"))
        << "resolved once and kept";
    Tarolink::SystemProperties::clear(FilePreferencesFactory::SYSTEM_PROPERTY_FILE);
    FilePreferencesFactory::reset();
}

// ---- several processes

// Waits for the child and fails the test when it died in an unexpected way.
void reap(pid_t pid, bool killed) {
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    if (killed)
        ASSERT_TRUE(WIFSIGNALED(status) || (WIFEXITED(status) && WEXITSTATUS(status) == 0));
    else
        ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
}

TEST_F(FileStoreTest, WriterKilledAtAnyMomentLeavesACompleteFile) {
    const int keyCount = 20;
    const QString filler(2000, u'v'); // big enough that kills land inside writes too
    {
        auto root = FilePreferences::createRoot(path);
        root->node("/com/other")->put("key", "kept");
        Preferences* node = root->node("/com/lumbrix/tarovex");
        for (int k = 0; k < keyCount; ++k)
            node->put(QString("k%1").arg(k), "initial" + filler);
    }
    std::random_device seedSource;
    const unsigned seed = seedSource();
    std::mt19937 random(seed);
    std::uniform_int_distribution<int> pause(0, 3000);
    const pid_t parent = ::getpid();
    for (int round = 0; round < 150; ++round) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            auto root = FilePreferences::createRoot(path);
            Preferences* node = root->node("/com/lumbrix/tarovex");
            for (int i = 0; i < 1000000 && ::getppid() == parent; ++i)
                node->put(QString("k%1").arg(i % keyCount), QString("r%1-%2").arg(round).arg(i) + filler);
            ::_exit(0);
        }
        ::usleep(useconds_t(pause(random)));
        ::kill(pid, SIGKILL);
        reap(pid, true);

        QStringList errors;
        const QByteArray text = readFile(path);
        ASSERT_TRUE(text.endsWith('\n')) << "seed " << seed << " round " << round;
        const auto properties = fileProperties(path, &errors);
        ASSERT_TRUE(errors.isEmpty()) << "seed " << seed << " round " << round;
        ASSERT_EQ(properties.size(), keyCount + 1) << "seed " << seed << " round " << round;
        ASSERT_EQ(properties.value("com.other.key"), "kept");
        for (int k = 0; k < keyCount; ++k)
            ASSERT_TRUE(properties.value(QString("com.lumbrix.tarovex.k%1").arg(k)).endsWith(filler));
    }
    // A writer after all those deaths still works and cleans up the dead writer's temporary file.
    auto root = FilePreferences::createRoot(path);
    root->node("/com/lumbrix/tarovex")->put("k0", "final");
    EXPECT_EQ(fileProperties(path).value("com.lumbrix.tarovex.k0"), "final");
    EXPECT_FALSE(QFileInfo::exists(path + ".tmp"));
}

TEST_F(FileStoreTest, ConcurrentWritersLoseNoEntries) {
    const int perWriter = 300;
    int gate[2];
    ASSERT_EQ(::pipe(gate), 0);
    pid_t pids[2];
    for (int w = 0; w < 2; ++w) {
        pids[w] = ::fork();
        ASSERT_GE(pids[w], 0);
        if (pids[w] == 0) {
            ::close(gate[1]);
            char c;
            (void)!::read(gate[0], &c, 1); // both start when the parent closes the gate
            auto root = FilePreferences::createRoot(path);
            Preferences* node = root->node("/com/lumbrix/tarovex");
            for (int i = 0; i < perWriter; ++i)
                node->put(QString("w%1-%2").arg(w).arg(i), QString::number(i));
            try {
                node->flush();
            } catch (...) {
                ::_exit(1);
            }
            ::_exit(0);
        }
    }
    ::close(gate[0]);
    ::close(gate[1]);
    reap(pids[0], false);
    reap(pids[1], false);
    const auto properties = fileProperties(path);
    EXPECT_EQ(properties.size(), 2 * perWriter);
    for (int w = 0; w < 2; ++w)
        for (int i = 0; i < perWriter; ++i)
            EXPECT_EQ(properties.value(QString("com.lumbrix.tarovex.w%1-%2").arg(w).arg(i)),
                      QString::number(i));
}

// ---- the platform store

TEST(SettingsPreferences, UserStoreIsAnIniFileUnderTheXdgConfigFolder) {
    auto root = SettingsPreferences::userRoot();
    Preferences* node = root->node("/com/lumbrix/tarovex");
    node->put("port", "COM9");
    node->flush();
    const QString file = prefs_test::sandbox() + "/xdg-config/Lumbrix/tarovex.conf";
    ASSERT_TRUE(QFileInfo::exists(file));
    EXPECT_TRUE(readFile(file).contains("port=COM9"));
    EXPECT_EQ(SettingsPreferences::userRoot()->node("/com/lumbrix/tarovex")->get("port", ""), "COM9");
}

TEST(SettingsPreferences, UnwritableFileIsAnAccessError) {
    QTemporaryDir dir;
    const QString path = dir.path() + "/settings.ini";
    writeFile(path, "[com]\nx=1\n");
    ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    ASSERT_TRUE(QFile::setPermissions(dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
    const int status = inUnprivilegedChild([&] {
        auto root = SettingsPreferences::createRoot(std::make_shared<QSettings>(path, QSettings::IniFormat));
        Preferences* node = root->node("/com");
        if (node->get("x", "") != "1")
            return 1;
        node->put("y", "2");
        try {
            node->flush();
        } catch (const PreferencesAccessException&) {
            return 0;
        } catch (...) {
        }
        return 3;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
