// The windows speak Italian: the program's own texts in its windows come through its translation,
// while the same texts stay English on the command line.
#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMessageBox>
#include <QProgressBar>

#include <gtest/gtest.h>

#include "core/main_procedure.h"
#include "core/progress.h"
#include "gui/main_window.h"
#include "gui/text.h"
#include "gui/translation.h"
#include "platform/serial_diagnosis.h"
#include "platform/texts.h"
#include "tests/support/temp_dir.h"
#include "tests/support/window_test.h"

namespace {

class WindowLanguageTest : public kv::test::WindowTest {
  protected:
    void SetUp() override {
        WindowTest::SetUp();
        translator_ = kv::gui::install_program_translation(*qApp);
        ASSERT_NE(translator_, nullptr);
    }
    void TearDown() override {
        kv::gui::remove_program_translation(translator_);
        WindowTest::TearDown();
    }
    kv::test::TempDir dir;
    QTranslator* translator_ = nullptr;
};

// Words that give an English text away.
void expect_no_english(const QString& text) {
    for (const char* word : {" the ", " is ", "there", "serial port", "Press", " of ", "bytes",
                             "kv32 --", "Saving", "device"})
        EXPECT_FALSE(text.contains(QLatin1String(word))) << word << " in: " << text.toStdString();
}

TEST_F(WindowLanguageTest, TheMainWindowsHintAndProgressAreItalian) {
    auto window = kv::gui::create_main_window("KV32", 500, 500);
    QString hint, progress;
    window->set_start_handler([&] {
        auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        d->close();  // the window manager's close: the hint says how to end KV32 instead
        hint = d->findChild<QLabel*>("close_hint")->text();
        {
            kv::core::ScopedProgressSink sink(kv::core::window_progress_sink(*window));
            kv::core::Progress p(
                kv::platform::translated("Progress", "Saving %1").arg("GAMES/SLOW"), 65535);
            p.advance(34715);
            progress = d->findChild<QProgressBar*>("progress")->text();
        }
        window->request_close();
    });
    window->activate(nullptr);
    EXPECT_EQ(hint.toStdString(), "Premere Esc per terminare KV32.");
    EXPECT_EQ(progress.toStdString(), "Salvataggio di GAMES/SLOW: 34715 di 65535 byte");
}

// The box of a port that cannot be opened names the cause in Italian and sends nobody to a
// terminal command.
TEST_F(WindowLanguageTest, ThePortFailureBoxDetailsAreItalian) {
    kv::test::ScopedCurrentDir cd(dir.path());
    QString details;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        details = box.detailedText();
        box.buttons().front()->click();
    });
    kv::core::StartOptions options;
    options.port = "ttyKVNOSUCHPORT";
    options.root = dir.path().string();
    EXPECT_FALSE(kv::core::MAIN(options));
    EXPECT_TRUE(details.contains("il dispositivo non esiste")) << details.toStdString();
    expect_no_english(details);
}

// The port list's descriptions and reasons, as the settings dialog shows them; the command line
// (no translation) keeps its English.
TEST_F(WindowLanguageTest, PortDescriptionsAndReasonsAreItalianInTheWindowsOnly) {
    dir.write("dev/ttyS0", "");
    dir.write("sys/ttyS0/type", "4\n");
    dir.write("sys/ttyS0/port", "0x3F8\n");
    const std::string dev = (dir.path() / "dev").string(), sys = (dir.path() / "sys").string();
    const std::string plain = dev + "/ttyS0";
    auto texts = [&] {
        return std::vector<std::string>{
            kv::platform::list_serial_devices(dev, sys).at(0).description,
            kv::platform::open_failure_cause(plain, ENOTTY),
            kv::platform::open_failure_cause(plain, EIO)};
    };
    const std::vector<std::string> italian = texts();
    kv::gui::remove_program_translation(translator_);  // the command line's texts
    const std::vector<std::string> english = texts();
    translator_ = kv::gui::install_program_translation(*qApp);
    const std::vector<std::string> want_italian = {"porta seriale (0x3F8, UART di tipo 4)",
                                                   "è un file, non una porta seriale",
                                                   "il dispositivo non risponde"};
    const std::vector<std::string> want_english = {"serial port (0x3F8, UART type 4)",
                                                   "it is a plain file, not a serial port",
                                                   "the device does not answer"};
    for (std::size_t i = 0; i < italian.size(); ++i) {
        const QString shown = kv::gui::from_ansi(italian[i]);
        EXPECT_TRUE(shown.startsWith(QString::fromUtf8(want_italian[i]))) << shown.toStdString();
        EXPECT_EQ(english[i].rfind(want_english[i], 0), 0u) << english[i];
    }
}

// The box of a served folder that cannot be used gives its reason in Italian, beside the
// described sentence.
TEST_F(WindowLanguageTest, TheServedFolderBoxGivesItsReasonInItalian) {
    kv::test::ScopedCurrentDir cd(dir.path());
    QString text;
    kv::gui::ScopedBoxAnswerer answerer([&](QMessageBox& box, const kv::gui::BoxRequest&) {
        text = box.text();
        box.buttons().front()->click();
    });
    kv::core::StartOptions options;
    options.port = "COM99";
    options.root = dir.str() + "/STICK/giochi";
    EXPECT_FALSE(kv::core::MAIN(options));
    EXPECT_EQ(text.toStdString(), "Errore di accesso alla cartella servita (" + dir.str() +
                                      "/STICK/giochi).\r\nLa cartella non esiste (non c'\u00E8 " +
                                      dir.str() + "/STICK).");
}

}  // namespace
