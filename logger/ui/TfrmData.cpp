#include "logger/ui/TfrmData.h"

#include "ui_TfrmData.h"

#include "common/Error.h"
#include "common/Format.h"
#include "controls/WindowLook.h"
#include "logger/io/SerialPortTable.h"
#include "logger/ui/LoggerWidgets.h"
#include "logger/ui/RecordingDialogs.h"
#include "logger/ui/TfrmAutoRecSet.h"
#include "logger/ui/TfrmCommPort.h"
#include "store/SettingsStore.h"
#include "store/ui/StoredLook.h"

#include <QDir>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLocale>
#include <QPainter>
#include <QSignalBlocker>
#include <QTimer>

#include <cmath>

namespace selva {

namespace {

// The pictures of the automatic recording's states: 0 measuring the rest line, 1 idle, 2 waiting, 3
// recording.
QPixmap stateImage(int index)
{
    static const QColor kColours[] = {QColor(230, 200, 0), QColor(160, 160, 160), QColor(40, 110, 220),
                                      QColor(220, 30, 30)};
    QPixmap pixmap(16, 16);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    p.setPen(QColor(60, 60, 60));
    p.setBrush(kColours[index]);
    p.drawEllipse(QRectF(1.5, 1.5, 13, 13));
    return pixmap;
}

} // namespace

TfrmData::TfrmData(SettingsStore& store, SerialPortTable& ports, OpenSource openSource, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmData>()), store_(store), ports_(ports),
      openSource_(std::move(openSource)),
      recorder_({}, [this](float* out, std::size_t max) { return link_.readings.pop(out, max); })
{
    ui->setupUi(this);
    takeLookFrom(this, parent);
    prompts = recordingPrompts(this);
    setRecordingFolder(recordingFolder());
    // A recording that stops is converted after the call that stopped it has returned (a timer tick, a
    // button), so that the questions about the file never run inside a tick.
    recorder_.onFinished = [this](const FinishedRecording& f) {
        toSave_.push_back(f);
        QTimer::singleShot(0, this, &TfrmData::saveFinished);
    };

    const TWindowPlacement& placement = store_.settings.dataPlacement;
    if (!placement.isEmpty()) {
        move(placement.left, placement.top);
        if (placement.width > 0 && placement.height > 0)
            resize(placement.width, placement.height);
    }

    TLoggerBlock& block = store_.settings.logger;
    const auto positive = [](TEditFloat*, long double* value, bool& canCommit) { canCommit = *value > 0; };
    for (TEditFloat* edit : {ui->edtRefresh, ui->edtAccur, ui->edtWindow}) {
        edit->setPrecision(6);
        edit->setDigits(3);
        edit->OnCommit = positive;
    }
    ui->edtRefresh->Value(&block.refresh);
    ui->edtAccur->Value(&block.accur);
    ui->edtWindow->Value(&block.window);
    ui->edtValUp->Value(&block.valUp);
    ui->edtValDown->Value(&block.valDown);
    for (TEditInt* edit : {ui->edtHPoints, ui->edtVPoints}) {
        edit->setInputLimit(2);
        edit->OnCommit = [](TEditInt*, std::int32_t* value, bool& canCommit) {
            canCommit = *value >= 1 && *value <= 99;
        };
    }
    ui->edtHPoints->Value(&hPoints_);
    ui->edtVPoints->Value(&vPoints_);
    ui->edtFile->Value(&outputName_);
    ui->edtFile->OnCommit = [this](TEditStr* sender, std::string* value, bool& canCommit) {
        edtFileCommit(sender, value, canCommit);
    };
    ui->edtRefresh->PostCommit = [this](TEditFloat*) { configureRecorder(); };
    for (TEditFloat* edit : {ui->edtAccur, ui->edtWindow})
        edit->PostCommit = [this](TEditFloat*) {
            configureRecorder();
            redrawPlot(true);
        };
    for (TEditInt* edit : {ui->edtValUp, ui->edtValDown, ui->edtHPoints, ui->edtVPoints})
        edit->PostCommit = [this](TEditInt*) { redrawPlot(true); };
    ui->edtAccur->setEnabled(ui->cbxAccurEdt->isChecked());

    if (ports_.isEmpty())
        ports_.Enumerate();
    ports_.ApplyStoredSettings(store_.project.logger);
    (block.dataSource == 0 ? ui->rbtnSelSound : ui->rbtnSelCom)->setChecked(true);

    tmrShow_ = new QTimer(this);
    tmrShow_->setObjectName(QStringLiteral("tmrShow"));
    tmrInfo_ = new QTimer(this);
    tmrInfo_->setObjectName(QStringLiteral("tmrInfo"));
    tmrInfo_->setInterval(1000);
    configureRecorder();
    link_.clearStatus();

    static constexpr int kWidths[7] = {50, 90, 80, 70, 70, 70, 50};
    const QString widest[7] = {QStringLiteral("ttyUSB0 115200"), // a usual port at the fastest rate
                               QStringLiteral("diconnected"),
                               QLocale().toString(199.99, 'f', 2) + QStringLiteral(" V"),
                               QStringLiteral("t ") + QLocale().toString(-55.55, 'f', 2) +
                                   QStringLiteral("°C"),
                               QStringLiteral("Бат. подкл."),
                               QStringLiteral("Восп. подкл."),
                               QString()};
    for (int i = 0; i < 7; ++i) {
        const auto symbol = i == 1   ? TStatusPanel::Symbol::Connection
                            : i == 2 ? TStatusPanel::Symbol::Battery
                                     : TStatusPanel::Symbol::None;
        panels_[static_cast<std::size_t>(i)] = new TStatusPanel(symbol, kWidths[i], widest[i], ui->sbarInfo);
        panels_[static_cast<std::size_t>(i)]->setObjectName(QStringLiteral("pnlInfo%1").arg(i));
        ui->sbarInfo->addWidget(panels_[static_cast<std::size_t>(i)], i == 0 ? 1 : 0);
    }
    // The panels are as wide as their texts need in this font; the window never clips them.
    int panelsWidth = 0;
    for (const TStatusPanel* p : panels_)
        panelsWidth += p->minimumWidth() + 4;
    setMinimumWidth(std::max(460, panelsWidth + 2 * layout()->contentsMargins().left()));
    showPortText();
    refreshStatus();

    QFont bold = ui->lblFreq->font();
    bold.setBold(true);
    bold.setPixelSize(16);
    ui->lblFreq->setFont(bold);
    redrawPlot(true);
    updateControls();

    connect(ui->rbtnSelCom, &QRadioButton::clicked, this, &TfrmData::rbtnSourceClick);
    connect(ui->rbtnSelSound, &QRadioButton::clicked, this, &TfrmData::rbtnSourceClick);
    connect(ui->btnTune, &QPushButton::clicked, this, &TfrmData::btnTuneClick);
    connect(ui->btnSet, &QPushButton::clicked, this, &TfrmData::btnSetClick);
    connect(ui->cbxShow, &QCheckBox::clicked, this, &TfrmData::cbxShowClick);
    connect(ui->cbxAccurEdt, &QCheckBox::toggled, ui->edtAccur, &QWidget::setEnabled);
    connect(ui->btnReady, &QPushButton::clicked, this, [this] { btnCommandClick(CmdArm); });
    connect(ui->btnFire, &QPushButton::clicked, this, [this] { btnCommandClick(CmdFire); });
    connect(ui->btnStop, &QPushButton::clicked, this, [this] { btnCommandClick(CmdStop); });
    connect(ui->sbtnAS, &QToolButton::clicked, this, &TfrmData::sbtnASClick);
    connect(ui->sbtnRec, &QToolButton::clicked, this, &TfrmData::sbtnRecClick);
    connect(ui->btnFile, &QPushButton::clicked, this, &TfrmData::btnFileClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::reject);
    connect(tmrShow_, &QTimer::timeout, this, &TfrmData::tmrShowTimer);
    connect(tmrInfo_, &QTimer::timeout, this, &TfrmData::tmrInfoTimer);
}

TfrmData::~TfrmData()
{
    finish();
}

void TfrmData::setRecordingFolder(const QString& folder)
{
    folder_ = folder;
    recorder_.setFolder(folder.toStdString());
}

QString TfrmData::panelText(int panel) const
{
    return panels_[static_cast<std::size_t>(panel)]->text();
}

// ------------------------------------------------------------------------------------------ settings

void TfrmData::configureRecorder()
{
    const TLoggerBlock& b = store_.settings.logger;
    LoggerRecorder::Config c;
    c.step = widenSingle(b.accur);
    c.refresh = widenSingle(b.refresh);
    c.window = widenSingle(b.window);
    c.thresholds = store_.settings.autoRecord;
    recorder_.configure(c);
    tmrShow_->setInterval(static_cast<int>(std::max<std::int64_t>(1, roundHalfEven(c.refresh * 1000))));
}

void TfrmData::rbtnSourceClick()
{
    store_.settings.logger.dataSource = ui->rbtnSelCom->isChecked() ? 1 : 0;
    if (ui->cbxShow->isChecked()) {
        ui->cbxShow->setChecked(false);
        DisplayOff();
    }
    updateControls();
}

void TfrmData::btnTuneClick()
{
    if (!ui->rbtnSelCom->isChecked())
        return;
    TfrmCommPort settings(store_, ports_, this);
    settings.exec();
    showPortText();
}

void TfrmData::btnSetClick()
{
    TfrmAutoRecSet settings(store_, this);
    if (settings.exec() == QDialog::Accepted)
        configureRecorder();
}

void TfrmData::showPortText()
{
    TStatusPanel* p = panels_[0];
    p->setSunken(true);
    if (ports_.isEmpty()) {
        p->setText(QStringLiteral("No ports"));
        return;
    }
    const int index = store_.settings.logger.portIndex;
    const QString name = index >= 0 && index < ports_.count() ? ports_.entry(index).portName : QString();
    p->setText(name + ' ' + QString::number(store_.settings.logger.dcb.BaudRate));
    p->setToolTip(p->text());
}

// ------------------------------------------------------------------------------------------ live display

void TfrmData::cbxShowClick(bool checked)
{
    if (checked)
        DisplayOn();
    else
        DisplayOff();
}

void TfrmData::DisplayOn()
{
    if (ui->rbtnSelCom->isChecked()) {
        try {
            ports_.OpenExclusive(store_.settings.logger.portIndex, store_.project.logger, link_);
        } catch (const Error& e) {
            ui->cbxShow->setChecked(false);
            updateControls();
            refreshStatus();
            prompts.tell(e.what());
            return;
        }
    }
    tmrShow_->start();
    tmrInfo_->start();
    updateControls();
    refreshStatus();
}

void TfrmData::DisplayOff()
{
    recorder_.stopRecording();
    if (ui->rbtnSelCom->isChecked()) {
        ports_.CloseCurrent();
        store_.settings.logger.displayFlag = 0;
    }
    tmrShow_->stop();
    tmrInfo_->stop();
    updateControls();
    refreshStatus();
}

void TfrmData::tmrShowTimer()
{
    if (busy_)
        return;
    busy_ = true;
    recorder_.tick();
    if (ui->cbxShow->isChecked() && link_.state() == LoggerLink::ReaderState::Failed)
        portLost();
    if (ui->cbxShow->isChecked()) {
        ui->lblFreq->setText(QLocale().toString(recorder_.displayAverage(), 'f', 1));
        redrawPlot(false);
    }
    updateControls();
    busy_ = false;
}

void TfrmData::redrawPlot(bool clear)
{
    const TLoggerBlock& b = store_.settings.logger;
    const TChartAppearance& chart = store_.settings.chart;
    ui->pbxPlot->setRange(b.valDown, b.valUp);
    ui->pbxPlot->setGrid(hPoints_, vPoints_);
    ui->pbxPlot->setColours(colorFromStored(chart.backColor), colorFromStored(chart.axisColor),
                            colorFromStored(chart.textColor), colorFromStored(chart.dataLineColor));
    if (clear) {
        ui->pbxPlot->clear();
        return;
    }
    const ReadingWindow& w = recorder_.readings();
    std::vector<float> latest;
    latest.reserve(static_cast<std::size_t>(w.count() - w.oldest()));
    for (std::int64_t p = w.oldest(); p < w.count(); ++p)
        latest.push_back(w.at(p));
    ui->pbxPlot->setReadings(std::move(latest), w.length());
}

// A lost port (a pulled cable, a logger switched off) ends the live display; a running recording keeps
// every reading that arrived and is written as usual, after the user has been told why it stopped.
void TfrmData::portLost()
{
    const int index = ports_.currentIndex();
    const QString name = index >= 0 ? ports_.entry(index).portName : QString();
    const std::string reason = link_.failure();
    const bool wasRecording = recorder_.recording();
    saving_ = true; // the recording is converted after the message
    ui->cbxShow->setChecked(false);
    DisplayOff();
    prompts.tell("Связь с логгером через порт " + name.toStdString() + " потеряна: " + reason +
                 (wasRecording ? ". Запись остановлена; все принятые отсчеты будут сохранены." : "."));
    saving_ = false;
    saveFinished();
}

// ------------------------------------------------------------------------------------------ status bar

void TfrmData::refreshStatus()
{
    const bool connected = ports_.readerRunning();
    const std::uint8_t flags = link_.statusFlags.load(std::memory_order_relaxed);
    panels_[1]->setConnected(connected);
    const bool battery = link_.batteryReported.load(std::memory_order_acquire);
    panels_[2]->setBattery(battery, link_.batteryVoltage.load(std::memory_order_relaxed));
    panels_[3]->setText(
        (flags & StatusTemperatureSensor)
            ? QStringLiteral("t ") +
                  QLocale().toString(link_.temperature.load(std::memory_order_relaxed), 'f', 2) +
                  QStringLiteral("°C")
            : QString());
    panels_[4]->setText((flags & StatusBatteryConnected) ? QStringLiteral("Бат. подкл.") : QString());
    panels_[4]->setSunken(flags & StatusBatteryConnected);
    panels_[5]->setText((flags & StatusIgniterConnected) ? QStringLiteral("Восп. подкл.") : QString());
    panels_[5]->setSunken(flags & StatusIgniterConnected);
    ui->sbarInfo->update();
}

void TfrmData::tmrInfoTimer()
{
    refreshStatus();
    if (!ports_.readerRunning()) {
        tmrInfo_->stop();
        return;
    }
    if (!recorder_.recording() && recorder_.autoState() == AutoState::Idle)
        link_.pollCycle();
}

// ------------------------------------------------------------------------------------------ commands

void TfrmData::btnCommandClick(unsigned char command)
{
    if (!ports_.readerRunning()) {
        prompts.tell("COM is not open");
        return;
    }
    link_.placeCommand(command);
}

void TfrmData::keyPressEvent(QKeyEvent* event)
{
    // Esc is "Stop (Esc)": it stops the logger and never closes the window in the middle of a firing.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (ui->btnStop->isEnabled())
            ui->btnStop->click();
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmData::updateControls()
{
    const bool on = ui->cbxShow->isChecked();
    const bool com = ui->rbtnSelCom->isChecked();
    const AutoState state = recorder_.autoState();
    const bool manual = recorder_.recording() && state == AutoState::Idle;
    ui->btnTune->setEnabled(!on && com);
    ui->gbxSource->setEnabled(!on);
    // The sound card is recorded from the sound window; here only the COM port feeds the display.
    ui->cbxShow->setEnabled(com);
    ui->sbtnAS->setEnabled(on && !manual);
    ui->sbtnRec->setEnabled(on && state == AutoState::Idle);
    ui->sbtnAS->setChecked(state != AutoState::Idle);
    ui->sbtnRec->setChecked(recorder_.recording());
    for (QPushButton* b : {ui->btnReady, ui->btnFire, ui->btnStop})
        b->setEnabled(on);
    ui->sBaseLine->setText(QString::fromUtf8(autoStateText(state)));
    ui->imgAS->setPixmap(stateImage(autoStateImage(state)));
}

// ------------------------------------------------------------------------------------------ recording

void TfrmData::sbtnASClick()
{
    if (!recorder_.pressAuto())
        prompts.tell("Невозможно создать временный файл записи: " + recorder_.errorText());
    updateControls();
}

void TfrmData::sbtnRecClick()
{
    if (!recorder_.pressRecord())
        prompts.tell("Невозможно создать временный файл записи: " + recorder_.errorText());
    updateControls();
}

std::string TfrmData::outputPath() const
{
    if (outputName_.empty())
        return {};
    const QString name = QString::fromStdString(outputName_);
    return QFileInfo(name).isAbsolute() ? outputName_ : QDir(folder_).filePath(name).toStdString();
}

QString TfrmData::shownName(const QString& path) const
{
    const QFileInfo info(path);
    return QDir(info.absolutePath()) == QDir(folder_) ? info.fileName() : path;
}

// A name without an extension gets the source's; a name typed over an existing file is confirmed in the
// save dialog, whose answer decides.
void TfrmData::edtFileCommit(TEditStr* sender, std::string* value, bool& canCommit)
{
    QString name = QString::fromStdString(*value).trimmed();
    if (name.isEmpty() || !sender->isModified())
        return;
    if (QFileInfo(name).suffix().isEmpty())
        name += ui->rbtnSelCom->isChecked() ? QStringLiteral(".frq") : QStringLiteral(".wav");
    const QString full = QFileInfo(name).isAbsolute() ? name : QDir(folder_).filePath(name);
    if (QFileInfo::exists(full)) {
        const std::optional<std::string> chosen =
            prompts.chooseName ? prompts.chooseName(full.toStdString()) : std::nullopt;
        if (!chosen) {
            canCommit = false;
            return;
        }
        name = shownName(QString::fromStdString(*chosen));
    }
    *value = name.toStdString();
}

void TfrmData::btnFileClick()
{
    const std::string start =
        outputName_.empty() ? QDir(folder_).filePath(QString()).toStdString() : outputPath();
    if (!prompts.chooseName)
        return;
    if (const std::optional<std::string> chosen = prompts.chooseName(start)) {
        outputName_ = shownName(QString::fromStdString(*chosen)).toStdString();
        ui->edtFile->Refresh();
    }
}

// Finished recordings become frequency records; the temporary file goes only when its record is complete.
void TfrmData::saveFinished()
{
    if (saving_)
        return;
    saving_ = true;
    while (!toSave_.empty()) {
        const FinishedRecording f = toSave_.front();
        toSave_.pop_front();
        if (!f.writeError.empty())
            prompts.tell("Ошибка записи во временный файл " + f.tempFile + ": " + f.writeError +
                         ". Сохраняются отсчеты, записанные до ошибки.");
        const SavedRecording saved = saveRecording(f, outputPath(), folder_.toStdString(), prompts);
        if (!saved.ok)
            prompts.tell(saved.error);
        else if (openSource_)
            openSource_(QString::fromStdString(saved.fileName));
    }
    saving_ = false;
}

// ------------------------------------------------------------------------------------------ closing

void TfrmData::finish()
{
    if (finished_)
        return;
    finished_ = true;
    if (ui->cbxShow->isChecked())
        ui->cbxShow->setChecked(false);
    DisplayOff();
    store_.settings.dataPlacement = {y(), x(), width(), height()};
    saveFinished();
}

void TfrmData::done(int result)
{
    finish();
    QDialog::done(result);
}

} // namespace selva
