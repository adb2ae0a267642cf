#include "config/ConfigHelper.h"
#include "config/Instrument.h"
#include "config/ResourceBundle.h"

#include <gtest/gtest.h>

using namespace tarovex::config;

// The settings code must find every key it uses in the compiled-in bundle.
TEST(ConfigBundle, HasEveryKeyTheSettingsUse) {
    const QStringList keys = ConfigHelper::resourceKeys();
    // The list itself must be complete enough to mean something.
    for (const char* key : {"manual", "auto", "key.none", "keyboardType.all", "sound.none", "generic",
                            "kern_rpb_weight", "sartorius.defaultMessage", "aandd.em.defaultmessage"})
        EXPECT_TRUE(keys.contains(QString::fromLatin1(key))) << key;
    EXPECT_EQ(ConfigHelper::Instrument::messageKeys().size(), 12);

    const auto bundle = ConfigHelper::getBundle();
    EXPECT_EQ(bundle->missingKeys(keys), QStringList());
    EXPECT_EQ(bundle->loadErrors(), QStringList());
    for (const QString& key : keys) {
        if (bundle->containsKey(key)) {
            EXPECT_FALSE(bundle->getString(key).trimmed().isEmpty()) << key.toStdString();
        }
    }
}

TEST(ConfigBundle, LabelsComeFromTheBundle) {
    const auto bundle = ConfigHelper::getBundle();
    EXPECT_EQ(ConfigHelper::Instrument::GENERIC.toString(), bundle->getString("generic"));
    EXPECT_EQ(ConfigHelper::Instrument::SARTORIUS.getDefaultMessage(),
              bundle->getString("sartorius.defaultMessage"));
    EXPECT_EQ(ConfigHelper::Instrument::KERN_DS.getDefaultMessage(), std::nullopt);
}
