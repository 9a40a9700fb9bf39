// The Tools page: the refusals of format and wipe, the wipe of a removable drive with its
// questions and its count of sectors that could not be written, and a format through mkfs.fat.
#include "gui_test_support.h"

#include "app/messages.h"
#include "gui/desktop_app.h"
#include "platform/drive_table.h"
#include "platform/memory_volume.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTimer>
#include <QLineEdit>
#include <QProgressBar>

using namespace quorvane;
using namespace quorvane::testing;

namespace {

struct Box {
    std::string text;
    MsgIcon icon;
    MsgButtons buttons;
};

std::shared_ptr<MemoryVolumeOpener> memoryCard(std::uint32_t sectors) {
    auto bytes = std::make_shared<std::vector<std::uint8_t>>(static_cast<std::size_t>(sectors) * 512, 0xE5);
    return std::make_shared<MemoryVolumeOpener>(bytes);
}

std::uint8_t addDrive(const std::string& path, std::uint32_t kind, std::shared_ptr<MemoryVolumeOpener> opener) {
    DriveEntry entry;
    entry.path = path;
    entry.displayName = path + " (test)";
    entry.kind = kind;
    entry.sizeBytes = opener->bytes->size();
    entry.opener = std::move(opener);
    return DriveTable::instance().addVolume(entry).value_or(0);
}

}  // namespace

class ToolsPageTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir_;
    std::vector<Box> boxes_;
    // Answers of the question boxes, in turn; a refusal or warning is just recorded.
    std::vector<MsgResult> answers_;

    void answerBoxes(gui::DesktopApp& app) {
        boxes_.clear();
        app.Ui.Answer = [this](const std::string& text, MsgIcon icon, MsgButtons buttons) {
            boxes_.push_back({text, icon, buttons});
            if (buttons != MsgButtons::YesNo) return MsgResult::Ok;
            if (answers_.empty()) return MsgResult::No;
            const MsgResult r = answers_.front();
            answers_.erase(answers_.begin());
            return r;
        };
    }
    QStringList texts() const {
        QStringList t;
        for (const auto& b : boxes_) t << QString::fromStdString(b.text);
        return t;
    }

    // Format, answering Yes, with the label "fresh" and the file system given ("": mkfs.fat chooses).
    void formatWithLabelFresh(gui::DesktopApp& app, const QString& fileSystem) {
        When([] { return TopLevel("FormatDialog") != nullptr; }, [fileSystem] {
            QWidget* d = TopLevel("FormatDialog");
            if (!fileSystem.isEmpty()) {
                auto* fs = d->findChild<QComboBox*>("FileSystem");
                fs->setCurrentIndex(fs->findText(fileSystem));
            }
            auto* label = d->findChild<QLineEdit*>("VolumeLabel");
            label->clear();
            QTest::keyClicks(label, "fresh");
            QTest::mouseClick(d->findChild<QWidget*>("ButtonFormatStart"), Qt::LeftButton);
        }, 10000, "the format dialog");
        answers_ = {MsgResult::Yes};
        QTest::mouseClick(app.Window->Widget<QWidget>("FormatButton"), Qt::LeftButton);
    }

private slots:
    void refusals_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("mounted");
        QTest::addColumn<QString>("formatRefusal");
        QTest::addColumn<QString>("wipeRefusal");
        QTest::newRow("fixed") << "/dev/qvtest-fixed" << int(DRIVE_FIXED) << false << "Can not format fixed drive."
                               << "Cannot wipe fixed drive.";
        QTest::newRow("cd-rom") << "/dev/qvtest-sr0" << int(DRIVE_CDROM) << false << "Can not format cd-rom."
                                << "Cannot wipe cd-rom.";
        QTest::newRow("mounted removable") << "/dev/qvtest-sdz1" << int(DRIVE_REMOVABLE) << true
                                           << "/dev/qvtest-sdz1 is mounted on /media/card. Unmount it first."
                                           << "/dev/qvtest-sdz1 is mounted on /media/card. Unmount it first.";
        QTest::newRow("partition of a mounted disk") << "/dev/qvtest-sdz" << int(DRIVE_REMOVABLE) << true
                                                     << "/dev/qvtest-sdz is mounted on /media/card. Unmount it first."
                                                     << "/dev/qvtest-sdz is mounted on /media/card. Unmount it first.";
    }
    void refusals() {
        QFETCH(QString, path);
        QFETCH(int, kind);
        QFETCH(bool, mounted);
        QFETCH(QString, formatRefusal);
        QFETCH(QString, wipeRefusal);
        auto card = memoryCard(64);
        const auto drive = addDrive(path.toStdString(), static_cast<std::uint32_t>(kind), card);
        gui::DesktopApp app;
        answerBoxes(app);
        const QString mounts = dir_.path() + "/mounts";
        WriteFile(mounts, mounted ? "/dev/qvtest-sdz1 /media/card vfat rw,nosuid 0 0\nproc /proc proc rw 0 0\n"
                                  : "proc /proc proc rw 0 0\n");
        app.Form.MountsFile = mounts.toStdString();
        QVERIFY(app.Form.SelectDrive(drive));

        QTest::mouseClick(app.Window->Widget<QWidget>("FormatButton"), Qt::LeftButton);
        QCOMPARE(texts(), QStringList{formatRefusal});
        QCOMPARE(int(boxes_[0].icon), int(MsgIcon::Exclamation));
        QCOMPARE(app.Window->Widget<QWidget>("ButtonStart")->isEnabled(), true);  // the drive was read again

        boxes_.clear();
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(texts(), QStringList{wipeRefusal});
        QVERIFY(std::all_of(card->bytes->begin(), card->bytes->end(), [](std::uint8_t b) { return b == 0xE5; }));
    }

    void notReadyDriveIsLeftAlone() {
        // The drive box names it, but its kind is unknown: no question, no write, no message.
        const auto drive = AddDriveWithoutMedium("/dev/qvtest-notready");
        gui::DesktopApp app;
        answerBoxes(app);
        answers_ = {MsgResult::Yes, MsgResult::Yes};
        QVERIFY(app.Form.SelectDrive(drive.number));
        QCOMPARE(QString::fromStdString(app.Form.LabelInfoStatus.Caption()), QString("Not Ready"));
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QTest::mouseClick(app.Window->Widget<QWidget>("FormatButton"), Qt::LeftButton);
        QVERIFY(boxes_.empty());
        QCOMPARE(*drive.opens, 0);
    }

    void wipeWritesZerosAndOffersAFormat() {
        auto card = memoryCard(1000);
        const auto drive = addDrive("/dev/qvtest-wipe", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        app.Form.TrackBarSecAtOnce.SetPosition(300);

        answers_ = {MsgResult::No};  // no wipe: nothing is written and no format question follows
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(texts(), QStringList{"Do you want to wipe /dev/qvtest-wipe (test)?"});
        QCOMPARE(int(boxes_[0].buttons), int(MsgButtons::YesNo));
        QCOMPARE(card->bytes->at(0), std::uint8_t{0xE5});

        boxes_.clear();
        answers_ = {MsgResult::Yes, MsgResult::No};
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(texts(), (QStringList{"Do you want to wipe /dev/qvtest-wipe (test)?",
                                       "Do you want to format /dev/qvtest-wipe (test)?"}));
        QVERIFY(std::all_of(card->bytes->begin(), card->bytes->end(), [](std::uint8_t b) { return b == 0; }));
        QCOMPARE(app.Form.LastWipe.SectorsWritten, std::uint64_t{1000});
        QCOMPARE(app.Window->Widget<QProgressBar>("WipeGauge")->value(), 0);
        QVERIFY(app.Window->Widget<QWidget>("WipeButton")->isEnabled());
        QVERIFY(!app.Window->Widget<QWidget>("WipeCancelButton")->isEnabled());
    }

    void wipeCancelledDuringTheSecondBlock() {
        auto card = memoryCard(200000);
        const auto drive = addDrive("/dev/qvtest-wipe-cancel", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        app.Window->show();
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        app.Form.TrackBarSecAtOnce.SetPosition(1000);
        answers_ = {MsgResult::Yes, MsgResult::No};
        // The click comes in while the gauge moves through the second block.
        auto* gauge = app.Window->Widget<QProgressBar>("WipeGauge");
        QObject::connect(gauge, &QProgressBar::valueChanged, gauge, [&] {
            if (app.Form.WipeGauge.Position() > 1000 && !app.Form.StopFlag) {
                QTest::mouseClick(app.Window->Widget<QWidget>("WipeCancelButton"), Qt::LeftButton);
            }
        });
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QVERIFY(app.Form.LastWipe.Cancelled);
        // Whole blocks were written; the sectors after the block under way keep their data.
        const auto written = app.Form.LastWipe.SectorsWritten;
        QVERIFY(written > 1000 && written < 200000);
        QCOMPARE(card->bytes->at((written + 999) / 1000 * 1000 * 512 - 1), std::uint8_t{0});
        QCOMPARE(card->bytes->at((written + 999) / 1000 * 1000 * 512), std::uint8_t{0xE5});
        QCOMPARE(texts().size(), 2);  // the format question still follows
        QCOMPARE(app.Window->Widget<QProgressBar>("WipeGauge")->value(), 0);
    }

    void closingDuringAWipeStopsItAndEnds() {
        auto card = memoryCard(200000);
        const auto drive = addDrive("/dev/qvtest-wipe-close", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        app.Window->show();
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        app.Form.TrackBarSecAtOnce.SetPosition(1000);
        answers_ = {MsgResult::Yes, MsgResult::Yes};  // a format question would be answered Yes
        bool refused = false;
        auto* gauge = app.Window->Widget<QProgressBar>("WipeGauge");
        QObject::connect(gauge, &QProgressBar::valueChanged, gauge, [&] {
            if (app.Form.WipeGauge.Position() > 1000 && !app.Form.StopFlag) {
                app.Window->close();
                refused = app.Window->isVisible();
            }
        });
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QVERIFY(refused);
        QVERIFY(app.Form.LastWipe.Cancelled);
        QCOMPARE(texts().size(), 1);  // the wipe question only: no format offer
        QVERIFY(WaitFor([&] { return !app.Window->isVisible(); }, 5000));
    }

    void wipeReportsSectorsThatCouldNotBeWritten() {
        auto card = memoryCard(1000);
        card->failingWrites = {3, 640, 999};
        card->failFlush = true;
        const auto drive = addDrive("/dev/qvtest-wipe-bad", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        answers_ = {MsgResult::Yes, MsgResult::No};
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(app.Form.LastWipe.SectorsFailed, std::uint64_t{3});
        QVERIFY(app.Form.LastWipe.FlushFailed);
        QCOMPARE(texts().size(), 4);
        QVERIFY(texts()[1].startsWith("3 of 1000 sectors of /dev/qvtest-wipe-bad (test) could not be written"));
        QVERIFY(texts()[2].contains("reported an error when the zeros were flushed"));
        QCOMPARE(int(boxes_[1].icon), int(MsgIcon::Warning));
        QCOMPARE(int(boxes_[2].icon), int(MsgIcon::Warning));
    }

    void wipeRefusesAWriteProtectedCard() {
        auto card = memoryCard(1000);
        card->readOnly = true;
        const auto drive = addDrive("/dev/qvtest-wipe-ro", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        answers_ = {MsgResult::Yes, MsgResult::Yes};
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(texts().size(), 2);  // no format offer after a wipe that did not start
        QVERIFY2(texts()[1].contains("write-protected"), qPrintable(texts()[1]));
    }

    // A card swapped for a larger one after it was selected: the size the window showed no
    // longer holds, and nothing is written.
    void wipeRefusesACardThatChangedSinceItWasSelected() {
        auto card = memoryCard(1000);
        const auto drive = addDrive("/dev/qvtest-wipe-swapped", DRIVE_REMOVABLE, card);
        gui::DesktopApp app;
        answerBoxes(app);
        QVERIFY(app.Form.SelectDrive(drive));
        card->bytes->resize(4000 * 512, 0xE5);
        answers_ = {MsgResult::Yes, MsgResult::Yes};
        QTest::mouseClick(app.Window->Widget<QWidget>("WipeButton"), Qt::LeftButton);
        QCOMPARE(texts().size(), 2);
        QVERIFY2(texts()[1].contains("is not the one that was selected"), qPrintable(texts()[1]));
        QVERIFY(std::all_of(card->bytes->begin(), card->bytes->end(), [](std::uint8_t b) { return b == 0xE5; }));
    }

    void formatRunsMkfsFatOnTheImage() {
        const QString image = MakeCameraCard(dir_.path(), "format.img");
        gui::DesktopApp app({image});
        answerBoxes(app);
        formatWithLabelFresh(app, "FAT12");
        QCOMPARE(texts().size(), 2);
        QVERIFY(texts()[0].startsWith("Formatting erases everything on format.img"));
        QVERIFY(app.Window->Widget<QWidget>("ButtonStart")->isEnabled());  // enabled again after mkfs.fat
        QVERIFY2(texts()[1].contains("was formatted"), qPrintable(texts()[1]));
        QString out;
        QCOMPARE(Run("blkid", {"-p", "-o", "export", image}, &out), 0);
        QVERIFY2(out.contains("LABEL=FRESH") && out.contains("VERSION=FAT12"), qPrintable(out));
        QCOMPARE(QString::fromStdString(app.Form.LabelInfoStatus.Caption()), QString("Ready"));
    }

    // While mkfs.fat runs (here one that takes a second), Start, Wipe and Format stay disabled.
    void formatIsModalWhileMkfsFatRuns() {
        const QString image = MakeCameraCard(dir_.path(), "modal.img");
        const QString bin = dir_.path() + "/slow-bin";
        QVERIFY(QDir().mkpath(bin));
        WriteFile(bin + "/mkfs.fat", "#!/bin/sh\nsleep 1\nexec /usr/sbin/mkfs.fat \"$@\"\n");
        QFile::setPermissions(bin + "/mkfs.fat", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        const QByteArray oldPath = qgetenv("PATH");
        qputenv("PATH", bin.toUtf8() + ":" + oldPath);
        gui::DesktopApp app({image});
        answerBoxes(app);
        QSet<QString> enabledWhileBusy;
        int samples = 0;
        QTimer sampler;
        QObject::connect(&sampler, &QTimer::timeout, [&] {
            if (QApplication::overrideCursor() == nullptr) return;
            ++samples;
            for (const char* name : {"ButtonStart", "WipeButton", "FormatButton"}) {
                if (app.Window->Widget<QWidget>(name)->isEnabled()) enabledWhileBusy << name;
            }
        });
        sampler.start(50);
        formatWithLabelFresh(app, "FAT12");
        sampler.stop();
        qputenv("PATH", oldPath);
        QVERIFY2(texts().size() == 2 && texts()[1].contains("was formatted"), qPrintable(texts().join(" / ")));
        QVERIFY(samples > 0);
        QVERIFY2(enabledWhileBusy.isEmpty(), qPrintable(QStringList(enabledWhileBusy.values()).join(", ")));
        QVERIFY(app.Window->Widget<QWidget>("FormatButton")->isEnabled());
    }

    // A partition of an image is formatted in place: the partition table and the other partition
    // keep every byte.
    void formatOfAPartitionLeavesTheRestOfTheImage() {
        const QString image = dir_.path() + "/parts.img";
        constexpr qint64 part1 = 2048 * 512, part2 = 18432 * 512;
        QCOMPARE(Run("truncate", {"-s", "24M", image}), 0);
        QCOMPARE(Run("sh", {"-c", "printf 'label: dos\\nstart=2048, size=16384, type=e\\nstart=18432, type=c\\n' | sfdisk -q '" +
                                      image + "'"}),
                 0);
        QCOMPARE(Run("mkfs.fat", {"-F", "16", "-s", "1", "-n", "CARDA", "--offset", "2048", image, "8192"}), 0);
        QCOMPARE(Run("mkfs.fat", {"-F", "12", "-n", "CARDB", "--offset", "18432", image, "3072"}), 0);
        const auto before = ReadFile(image);

        gui::DesktopApp app({image});
        answerBoxes(app);
        auto* drives = app.Window->Widget<QComboBox>("ListBoxDrives");
        const int first = drives->findText("parts.img partition 1", Qt::MatchContains);
        QVERIFY(first >= 0);
        drives->setCurrentIndex(first);
        formatWithLabelFresh(app, "");
        QVERIFY2(texts().size() == 2 && texts()[1].contains("was formatted"), qPrintable(texts().join(" / ")));

        const auto after = ReadFile(image);
        QCOMPARE(after.size(), before.size());
        QVERIFY2(after.left(part1) == before.left(part1), "the partition table changed");
        QVERIFY2(after.mid(part2) == before.mid(part2), "the second partition changed");
        QVERIFY(after.mid(part1, part2 - part1) != before.mid(part1, part2 - part1));
        // The new file system spans the partition, no more: its boot sector's sector count.
        const auto byteAt = [&](qint64 i) { return quint32(quint8(after[part1 + i])); };
        const quint32 small = byteAt(19) | byteAt(20) << 8;
        const quint32 large = byteAt(32) | byteAt(33) << 8 | byteAt(34) << 16 | byteAt(35) << 24;
        QCOMPARE(small != 0 ? small : large, quint32((part2 - part1) / 512));
        QString out;
        QCOMPARE(Run("blkid", {"-p", "-o", "export", "-O", QString::number(part1), image}, &out), 0);
        QVERIFY2(out.contains("LABEL=FRESH"), qPrintable(out));
    }
};

QUORVANE_GUI_TEST_MAIN(ToolsPageTest)
#include "tools_page_test.moc"
