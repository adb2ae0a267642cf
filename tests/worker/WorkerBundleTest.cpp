#include "worker/WorkerBundle.h"
#include "worker/WorkerMessages.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

using tarovex::config::ResourceBundle;
using tarovex::worker::workerBundle;
namespace WorkerMessages = tarovex::worker::WorkerMessages;

TEST(WorkerBundle, EveryKeyIsThereWithTheArgumentsTheCodePasses) {
    const ResourceBundle& bundle = workerBundle();
    EXPECT_TRUE(bundle.loadErrors().isEmpty()) << bundle.loadErrors().join(u'\n').toStdString();
    const QRegularExpression printfArg(QStringLiteral("%(\\d+\\$)?[sd]"));
    const QRegularExpression indexedArg(QStringLiteral("\\{\\d+\\}"));
    for (const WorkerMessages::Key& k : WorkerMessages::ALL) {
        const QString key = k.key;
        ASSERT_TRUE(bundle.containsKey(key)) << key.toStdString();
        const QString text = bundle.getString(key);
        EXPECT_FALSE(text.trimmed().isEmpty()) << key.toStdString();
        EXPECT_EQ(text.count(printfArg), k.printfArguments) << key.toStdString();
        EXPECT_EQ(text.count(indexedArg), k.indexedArguments) << key.toStdString();
        if (k.printfArguments == 0) {
            EXPECT_FALSE(text.contains(u'%')) << key.toStdString();
        }
        if (k.indexedArguments == 0) {
            EXPECT_FALSE(text.contains(u'{')) << key.toStdString();
        } else {
            // Quotes would be eaten by the {0} formatting.
            EXPECT_FALSE(text.contains(u'\'')) << key.toStdString();
        }
    }
}

TEST(WorkerBundle, FormattedTextsShowEveryArgument) {
    const ResourceBundle& bundle = workerBundle();
    const QString opened = ResourceBundle::formatPrintf(bundle.getString(WorkerMessages::PORT_OPENED),
                                                        {"/dev/ttyUSB0", "9600", "8", "1 stop bit", "NONE"});
    for (const char* part : {"/dev/ttyUSB0", "9600", "8", "1 stop bit", "NONE"})
        EXPECT_TRUE(opened.contains(QLatin1StringView(part))) << opened.toStdString();
    EXPECT_FALSE(opened.contains(u'%'));

    const QString testing = bundle.format(WorkerMessages::TESTING_PORT_0, {"COM7"});
    EXPECT_TRUE(testing.contains(u"COM7")) << testing.toStdString();
    EXPECT_FALSE(testing.contains(u'{'));
}

TEST(WorkerBundle, TextsFollowedDirectlyByMoreTextEndInABlank) {
    const ResourceBundle& bundle = workerBundle();
    for (const QLatin1StringView key : {WorkerMessages::EXECUTION_EXCEPTION, WorkerMessages::LINE_COUNT,
                                        WorkerMessages::CANNOT_TYPE, WorkerMessages::ERROR_OPENING_PORT})
        EXPECT_TRUE(bundle.getString(key).endsWith(u' ')) << key.data();
}
