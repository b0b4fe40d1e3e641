// Qt's own texts in the program's language: the standard buttons of a message box and its
// details button, as a user sees them.
#include <QAbstractButton>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QTranslator>
#include <filesystem>
#include <memory>

#include <gtest/gtest.h>

#include "gui/run_mode.h"

TEST(QtTranslation, MessageBoxButtonsSpeakItalian) {
    const auto file =
        std::filesystem::path(QLibraryInfo::path(QLibraryInfo::TranslationsPath).toStdString()) /
        "qtbase_it.qm";
    if (!std::filesystem::exists(file)) GTEST_SKIP() << "Qt's translations are not installed";
    std::unique_ptr<QTranslator> translator(kv::gui::install_qt_translation(*qApp));
    ASSERT_NE(translator, nullptr);
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.setDetailedText("details");
    // The texts without their mnemonic, as the Italian desktop words them.
    const std::pair<QMessageBox::StandardButton, const char*> italian[] = {
        {QMessageBox::Yes, "Sì"}, {QMessageBox::No, "No"}, {QMessageBox::Cancel, "Annulla"}};
    for (const auto& [button, text] : italian) {
        ASSERT_NE(box.button(button), nullptr);
        EXPECT_EQ(box.button(button)->text().remove('&'), QString::fromUtf8(text));
    }
    for (auto* button : box.buttons()) {
        if (box.buttonRole(button) == QMessageBox::ActionRole) {
            EXPECT_FALSE(button->text().contains("Details")) << button->text().toStdString();
        }
    }
}
