#include "PrefsTestSupport.h"

#include "config/Properties.h"
#include "tarovex/prefs/FilePreferences.h"
#include "tarovex/prefs/FilePreferencesFactory.h"
#include "tarovex/prefs/PreferencesErrors.h"
#include "tarovex/prefs/SettingsPreferences.h"
#include "tarovex/prefs/SharedFile.h"

#include "Tarolink/SystemProperties.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <random>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
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

int inUnprivilegedChild(const std::function<int()>& body) {
    return prefs_test::runAs(prefs_test::nobody, body);
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
    node->put("d", "4");
    QStringList errors;
    const auto after = fileProperties(path, &errors);
    // Lines that do not parse may be another program's: they stay as they are, once.
    EXPECT_EQ(errors.size(), 2) << errors.join("; ").toStdString();
    EXPECT_EQ(readFile(path).count("\ncom.lumbrix.tarovex.bad=\\u00zz\n"), 1);
    EXPECT_EQ(readFile(path).count("\ncom.lumbrix.tarovex.short=\\u12\n"), 1);
    EXPECT_EQ(after.value("com.lumbrix.tarovex.a"), "1");
    EXPECT_EQ(after.value("com.lumbrix.tarovex.b"), "2");
    EXPECT_EQ(after.value("com.lumbrix.tarovex.c"), "3");
    EXPECT_EQ(after.value("com.lumbrix.tarovex.d"), "4");
    EXPECT_EQ(after.value("com.other.key"), "kept");
    EXPECT_FALSE(after.contains("com.lumbrix.tarovex.bad"));
}

TEST_F(FileStoreTest, UnwritableStoreKeepsValuesInMemoryAndFlushReportsAccess) {
    const auto rwx = QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner;
    struct Row {
        const char* what;
        QFile::Permissions folder;
        uid_t fileOwner;
    } const rows[] = {
        {"folder not writable", rwx | QFile::ReadOther | QFile::ExeOther, 0},
        {"another user's read-only file, folder writable",
         rwx | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther, 0},
        {"own read-only file, folder writable", rwx | QFile::ReadOther | QFile::WriteOther | QFile::ExeOther,
         prefs_test::nobody},
    };
    for (const Row& r : rows) {
        writeFile(path, "com.lumbrix.tarovex.a=1\n");
        ASSERT_EQ(::chown(QFile::encodeName(path).constData(), r.fileOwner, r.fileOwner), 0);
        ASSERT_TRUE(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        ASSERT_TRUE(QFile::setPermissions(dir.path(), r.folder));
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
        EXPECT_EQ(status, 0) << r.what;
        EXPECT_EQ(readFile(path), "com.lumbrix.tarovex.a=1\n") << r.what;
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files), QStringList({"prefs.txt"})) << r.what;
        ASSERT_TRUE(QFile::setPermissions(dir.path(), rwx));
        QFile::remove(path);
    }
}

TEST_F(FileStoreTest, UnparsableLinesAreKeptByteForByte) {
    struct Row {
        const char* what;
        QByteArray other, kept;
    } const rows[] = {
        {"UTF-8 file", "x=caf\xc3\xa9\n", "  k=\\uzz caf\xc3\xa9"},
        {"Latin-1 file", "x=caf\xe9\n", "k=\\uzz caf\xe9"},
        {"continued line", "", "k=\\uzz\\\n  more"},
    };
    for (const Row& r : rows) {
        writeFile(path, r.other + r.kept + "\n");
        FilePreferences::createRoot(path)->node("/com/lumbrix/tarovex")->put("a", "1");
        const QByteArray text = readFile(path);
        EXPECT_TRUE(text.endsWith("\n" + r.kept + "\n")) << r.what << ": " << text.constData();
        EXPECT_EQ(fileProperties(path).value("com.lumbrix.tarovex.a"), "1") << r.what;
        if (!r.other.isEmpty()) {
            EXPECT_EQ(fileProperties(path).value("x"), QString::fromUtf8("café")) << r.what;
        }
    }
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

// Two users of one computer save the shared file at the same time, each in its own way:
// the owner of the file replaces it, the other rewrites it in place.
TEST_F(FileStoreTest, SeveralUsersSaveTheSharedFile) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as two users";
    using prefs_test::nobody;
    using prefs_test::otherUser;
    const QByteArray native = QFile::encodeName(path);
    struct Row {
        const char* what;
        mode_t folderMode;
        std::optional<uid_t> fileOwner; // nothing: no file yet
        mode_t fileMode;                // expected after the saves
    } const rows[] = {
        {"sticky folder holding the first user's file", 01777, nobody, 0666},
        {"sticky folder without a file", 01777, std::nullopt, 0666},
        {"writable folder holding the first user's file", 0777, nobody, 0646},
        {"folder not writable", 0755, 0u, 0666},
    };
    const int perWriter = 60;
    for (const Row& r : rows) {
        QFile::remove(path);
        if (r.fileOwner) {
            writeFile(path, "com.other.key=kept\n");
            ASSERT_EQ(::chown(native.constData(), *r.fileOwner, *r.fileOwner), 0);
            ASSERT_EQ(::chmod(native.constData(), r.fileMode), 0);
        }
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), r.folderMode), 0);
        int gate[2];
        ASSERT_EQ(::pipe(gate), 0);
        std::vector<pid_t> pids;
        for (const uid_t uid : {nobody, otherUser})
            pids.push_back(prefs_test::forkAs(uid, [&] {
                ::close(gate[1]);
                char c;
                (void)!::read(gate[0], &c, 1); // both start when the parent closes the gate
                auto root = FilePreferences::createRoot(path);
                Preferences* node = root->node("/com/lumbrix/tarovex");
                for (int i = 0; i < perWriter; ++i)
                    node->put(QString("u%1-%2").arg(::getuid()).arg(i), QString::number(i));
                try {
                    node->flush();
                } catch (...) {
                    return 1;
                }
                return 0;
            }));
        ::close(gate[0]);
        ::close(gate[1]);
        for (const pid_t pid : pids)
            EXPECT_EQ(prefs_test::waitChild(pid), 0) << r.what;
        const auto properties = fileProperties(path);
        EXPECT_EQ(properties.size(), 2 * perWriter + (r.fileOwner ? 1 : 0)) << r.what;
        for (const uid_t uid : {nobody, otherUser})
            for (int i = 0; i < perWriter; ++i)
                EXPECT_EQ(properties.value(QString("com.lumbrix.tarovex.u%1-%2").arg(uid).arg(i)),
                          QString::number(i))
                    << r.what;
        struct stat st {};
        ASSERT_EQ(::stat(native.constData(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, r.fileMode) << r.what;
        if (r.fileOwner) {
            EXPECT_EQ(st.st_uid, *r.fileOwner) << r.what;
        }
        EXPECT_FALSE(QFileInfo::exists(path + ".tmp")) << r.what;
        ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0700), 0);
    }
}

// Another user reads the shared file only when none but root, that user or a member of the
// trusted group may have written it; a FIFO or link is refused at once, never waited on.
TEST_F(FileStoreTest, SharedFileIsReadOnlyWhenItsReaderMayTrustIt) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to give files to other users";
    using prefs_test::nobody;
    using prefs_test::otherUser;
    const gid_t nogroup = 65534; // nobody's own group, the trusted one here
    enum Kind { File, Fifo, Link };
    struct Row {
        const char* what;
        Kind kind;
        uid_t owner;
        gid_t group;
        mode_t mode;
        bool trusted;
    } const rows[] = {
        {"root's file", File, 0, 0, 0644, true},
        {"a member's file, writable by the group", File, nobody, nogroup, 0664, true},
        {"the reader's own file", File, otherUser, otherUser, 0644, true},
        {"a member's file writable by every user", File, nobody, nogroup, 0666, false},
        {"the file of a user outside the group", File, 65532, nogroup, 0644, false},
        {"a member's file in another group", File, nobody, otherUser, 0644, false},
        {"root's file writable by another group", File, 0, otherUser, 0664, false},
        {"a FIFO", Fifo, 0, 0, 0644, false},
        {"a link to root's file", Link, 0, 0, 0644, false},
    };
    ASSERT_EQ(::chmod(QFile::encodeName(dir.path()).constData(), 0755), 0);
    const QByteArray native = QFile::encodeName(path);
    const QByteArray target = QFile::encodeName(dir.path() + "/target");
    for (const Row& r : rows) {
        ::unlink(native.constData());
        ::unlink(target.constData());
        const QByteArray made = r.kind == Link ? target : native;
        if (r.kind == Fifo) {
            ASSERT_EQ(::mkfifo(made.constData(), r.mode), 0);
        } else {
            writeFile(QFile::decodeName(made), "com.lumbrix.tarovex.csvFile=~/.bashrc\n");
        }
        ASSERT_EQ(::chown(made.constData(), r.owner, r.group), 0);
        ASSERT_EQ(::chmod(made.constData(), r.mode), 0);
        if (r.kind == Link) {
            ASSERT_EQ(::symlink(target.constData(), native.constData()), 0);
        }
        const int result = prefs_test::runAs(otherUser, [&] {
            ::alarm(10); // a hang ends the child instead of the test
            SharedFile file(path);
            file.requireTrust("nogroup");
            try {
                const auto bytes = file.read();
                return bytes && bytes->contains("csvFile") ? 0 : 3;
            } catch (const UntrustedFileException&) {
                return 2;
            } catch (...) {
                return 4;
            }
        });
        EXPECT_EQ(result, r.trusted ? 0 : 2) << r.what;
    }
}

// The shared folder as the package makes it (2775, root and the writers' group): a user
// outside the group is refused, and the refusal says who may write and how to join them.
TEST_F(FileStoreTest, ARefusedSaveOfTheSharedFileSaysHowToJoinTheWritersGroup) {
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to act as other users";
    const gid_t nogroup = 65534; // nobody's own group, the writers' group here
    const QByteArray folder = QFile::encodeName(dir.path());
    ASSERT_EQ(::chown(folder.constData(), 0, nogroup), 0);
    ASSERT_EQ(::chmod(folder.constData(), 02775), 0);
    writeFile(path, "com.lumbrix.tarovex.a=1\n");
    ASSERT_EQ(::chown(QFile::encodeName(path).constData(), 0, nogroup), 0);
    ASSERT_EQ(::chmod(QFile::encodeName(path).constData(), 0664), 0);
    enum Outcome { Saved, RefusedWithTheWay, RefusedWithoutIt, Other };
    const struct {
        const char* what;
        uid_t user;
        bool shared;
        Outcome outcome;
    } rows[] = {
        {"a member", prefs_test::nobody, true, Saved},
        {"a user outside the group", prefs_test::otherUser, true, RefusedWithTheWay},
        {"a user's own file, not the shared one", prefs_test::otherUser, false, RefusedWithoutIt},
    };
    for (const auto& row : rows) {
        const int result = prefs_test::runAs(row.user, [&] {
            SharedFile file(path);
            if (row.shared)
                file.requireTrust("nogroup");
            try {
                file.update(
                    [](const std::optional<QByteArray>& current) { return current.value_or("") + "b=2\n"; });
                return int(Saved);
            } catch (const PreferencesAccessException& e) {
                const std::string why = e.what();
                const bool way =
                    why.find("Permission denied. Only root and the members of the group nogroup may "
                             "change the shared settings") != std::string::npos &&
                    why.find("(sudo adduser ") != std::string::npos;
                return int(way                                                  ? RefusedWithTheWay
                           : why.find("Permission denied") != std::string::npos ? RefusedWithoutIt
                                                                                : Other);
            } catch (...) {
                return int(Other);
            }
        });
        EXPECT_EQ(result, row.outcome) << row.what;
    }
    ASSERT_EQ(::chmod(folder.constData(), 0700), 0);
}

TEST_F(FileStoreTest, StoppedLockHolderCostsABoundedWait) {
    writeFile(path, "com.lumbrix.tarovex.a=1\n");
    auto root = FilePreferences::createRoot(
        std::make_shared<SharedFile>(path, SharedFileSyscalls::real(), std::chrono::milliseconds(200)));
    Preferences* node = root->node("/com/lumbrix/tarovex");
    const pid_t holder = ::fork();
    ASSERT_GE(holder, 0);
    if (holder == 0) {
        const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
        if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
            ::_exit(1);
        ::raise(SIGSTOP);
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(holder, &status, WUNTRACED), holder);
    ASSERT_TRUE(WIFSTOPPED(status));
    node->put("b", "2");
    EXPECT_THROW(node->flush(), PreferencesAccessException);
    EXPECT_THROW(node->sync(), PreferencesAccessException);
    ::kill(holder, SIGKILL);
    reap(holder, true);
    node->flush();
    EXPECT_EQ(fileProperties(path).value("com.lumbrix.tarovex.b"), "2");
}

// Records the calls that make a save durable, naming descriptors after what they opened.
class RecordingSyscalls : public SharedFileSyscalls {
public:
    QStringList calls;
    QMap<QString, int> failing; // calls, as recorded, that fail with the given errno

    int open(const char* path, int flags, mode_t mode) override {
        const int fd = SharedFileSyscalls::open(path, flags, mode);
        const QString p = QFile::decodeName(path);
        names[fd] = p.endsWith(".tmp") ? "tmp" : p.endsWith("prefs.txt") ? "file" : "folder";
        return fd;
    }
    ssize_t pwrite(int fd, const void* b, size_t n, off_t at) override {
        return record("write " + names[fd]) ? -1 : SharedFileSyscalls::pwrite(fd, b, n, at);
    }
    int ftruncate(int fd, off_t n) override {
        return record("truncate " + names[fd]) ? -1 : SharedFileSyscalls::ftruncate(fd, n);
    }
    int fsync(int fd) override { return record("sync " + names[fd]) ? -1 : SharedFileSyscalls::fsync(fd); }
    int close(int fd) override {
        return record("close " + names.take(fd)) ? -1 : SharedFileSyscalls::close(fd);
    }
    int rename(const char* from, const char* to) override {
        return record("rename") ? -1 : SharedFileSyscalls::rename(from, to);
    }

private:
    QMap<int, QString> names;
    bool record(const QString& call) {
        calls.append(call);
        if (!failing.contains(call))
            return false;
        errno = failing.value(call);
        return true;
    }
};

TEST_F(FileStoreTest, SavesAreSyncedAroundTheRename) {
    struct Row {
        const char* what;
        QMap<QString, int> failing;
        QStringList expected; // in this order, other calls between them
        const char* written;  // the value on disk afterwards
        bool reported;        // the save reports a failure
    } const rows[] = {
        {"replace", {}, {"write tmp", "sync tmp", "close tmp", "rename", "sync folder"}, "new", false},
        {"rename refused",
         {{"rename", EPERM}},
         {"write tmp", "sync tmp", "rename", "write file", "truncate file", "sync file"},
         "new",
         false},
        {"temporary file not synced", {{"sync tmp", EIO}}, {"write tmp", "sync tmp"}, "old", true},
        {"folder not synced", {{"sync folder", EIO}}, {"rename", "sync folder"}, "new", true},
        {"in place not synced",
         {{"rename", EACCES}, {"sync file", EIO}},
         {"write file", "truncate file", "sync file"},
         "new",
         true},
    };
    for (const Row& r : rows) {
        writeFile(path, "com.lumbrix.tarovex.a=old\n");
        RecordingSyscalls sys;
        sys.failing = r.failing;
        auto root = FilePreferences::createRoot(std::make_shared<SharedFile>(path, sys));
        Preferences* node = root->node("/com/lumbrix/tarovex");
        node->put("a", "new"); // a failure is logged; the explicit flush below reports it
        qsizetype at = 0;
        for (const QString& call : r.expected) {
            at = sys.calls.indexOf(call, at);
            ASSERT_GE(at, 0) << r.what << ": no " << call.toStdString() << " in order in "
                             << sys.calls.join(", ").toStdString();
        }
        if (r.reported) {
            EXPECT_THROW(node->flush(), BackingStoreException) << r.what;
        } else {
            EXPECT_NO_THROW(node->flush()) << r.what;
        }
        EXPECT_EQ(fileProperties(path).value("com.lumbrix.tarovex.a"), r.written) << r.what;
        EXPECT_FALSE(QFileInfo::exists(path + ".tmp")) << r.what;
    }
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
