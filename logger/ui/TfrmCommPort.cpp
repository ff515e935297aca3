#include "logger/ui/TfrmCommPort.h"

#include "ui_TfrmCommPort.h"

#include "common/Error.h"
#include "controls/WindowLook.h"
#include "logger/io/SerialPortTable.h"
#include "store/SettingsStore.h"

#include <QMessageBox>

namespace selva {

namespace {

struct Choice {
    int value;
    const char* text;
};

constexpr Choice kBitRates[] = {{115200, "115 200"}, {57600, "57 600"}, {38400, "38 400"},
                                {19200, "19 200"},   {14400, "14 400"}, {9600, "9 600"},
                                {4800, "4 800"},     {256000, "256000"}};
constexpr Choice kParities[] = {{2, "Even"}, {3, "Mark"}, {0, "No parity"}, {1, "Odd"}};
constexpr Choice kDataBits[] = {{5, "5"}, {6, "6"}, {7, "7"}, {8, "8"}};
constexpr Choice kStopBits[] = {{0, "1 stop bit"}, {1, "1.5 stop bits"}, {2, "2 stop bits"}};

template <std::size_t N> void fill(QComboBox* box, const Choice (&choices)[N])
{
    for (const Choice& c : choices)
        box->addItem(QString::fromUtf8(c.text), c.value);
}

// Selects the entry of `value`; a value the list does not offer selects the first entry and becomes its
// value.
template <class T> void select(QComboBox* box, T& value)
{
    int at = box->findData(static_cast<int>(value));
    if (at < 0) {
        at = 0;
        value = static_cast<T>(box->itemData(0).toInt());
    }
    box->setCurrentIndex(at);
}

} // namespace

TfrmCommPort::TfrmCommPort(SettingsStore& store, SerialPortTable& ports, QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::TfrmCommPort>()), store_(store), ports_(ports)
{
    ui->setupUi(this);
    takeLookFrom(this, parent);
    const QWidget* top = parent ? parent->window() : nullptr;
    while (top && top->parentWidget())
        top = top->parentWidget()->window();
    setWindowTitle((top ? top->windowTitle() : QStringLiteral("Selvarondine")) +
                   QStringLiteral(" (Set COM port)"));
    showMessage = [this](const QString& caption, const QString& text) {
        QMessageBox::information(this, caption, text);
    };

    storedIndex_ = store_.project.logger.portIndex;
    wasOpen_ = ports_.portOpen();
    reopenIndex_ = ports_.currentIndex();
    fill(ui->cbxBaudRate, kBitRates);
    fill(ui->cbxParity, kParities);
    fill(ui->cbxDataBits, kDataBits);
    fill(ui->cbxStopBits, kStopBits);
    if (ports_.isEmpty())
        ports_.Enumerate();
    fillPorts();

    dcb_ = store_.project.logger.dcb;
    dcb_.DCBlength = TDcb::Size;
    const TCommTimeouts& t = store_.project.logger.timeouts;
    timeouts_ = {static_cast<std::int32_t>(t.ReadIntervalTimeout),
                 static_cast<std::int32_t>(t.ReadTotalTimeoutMultiplier),
                 static_cast<std::int32_t>(t.ReadTotalTimeoutConstant),
                 static_cast<std::int32_t>(t.WriteTotalTimeoutMultiplier),
                 static_cast<std::int32_t>(t.WriteTotalTimeoutConstant)};
    TEditInt* fields[] = {ui->edtReadIntervalTO, ui->edtReadTotalTOMult, ui->edtReadTotalTOConst,
                          ui->edtWriteTotalTOMult, ui->edtWriteTotalTOConst};
    for (std::size_t i = 0; i < 5; ++i) {
        fields[i]->Value(&timeouts_[i]);
        fields[i]->OnCommit = [](TEditInt*, std::int32_t* value, bool& canCommit) {
            canCommit = *value >= 0;
        };
        // Leaving a field commits it, changed or not (TEditInt commits on every loss of the focus).
    }

    if (!ports_.portOpen())
        openShared(storedIndex_);
    ShowPortSettings();

    connect(ui->cbxPorts, &QComboBox::activated, this, &TfrmCommPort::cbxPortsActivated);
    connect(ui->btnAddPort, &QPushButton::clicked, this, &TfrmCommPort::btnAddPortClick);
    connect(ui->btnSave, &QPushButton::clicked, this, &TfrmCommPort::btnSaveClick);
    connect(ui->btnExit, &QPushButton::clicked, this, &QDialog::reject);
}

TfrmCommPort::~TfrmCommPort()
{
    closePorts();
}

void TfrmCommPort::fillPorts()
{
    ui->cbxPorts->clear();
    if (ports_.isEmpty()) {
        ui->cbxPorts->addItem(QStringLiteral("No COM port"));
        return;
    }
    for (int i = 0; i < ports_.count(); ++i)
        ui->cbxPorts->addItem(ports_.entry(i).portName);
    ui->cbxPorts->setPlaceholderText(QStringLiteral("Seletct ..."));
}

bool TfrmCommPort::openShared(int index)
{
    QString error;
    if (ports_.OpenShared(index, &error))
        return true;
    if (!error.isEmpty())
        showMessage(QStringLiteral("Ошибка открытия COM-порта"), ports_.entry(index).portName + ": " + error);
    return false;
}

void TfrmCommPort::clearPanel()
{
    for (TEditInt* e : {ui->edtReadIntervalTO, ui->edtReadTotalTOMult, ui->edtReadTotalTOConst,
                        ui->edtWriteTotalTOMult, ui->edtWriteTotalTOConst})
        e->clear();
    for (QComboBox* box : {ui->cbxBaudRate, ui->cbxDataBits, ui->cbxParity, ui->cbxStopBits})
        box->setCurrentIndex(-1);
}

void TfrmCommPort::ShowPortSettings()
{
    const bool open = ports_.portOpen() && !ports_.isEmpty();
    ui->cbxPorts->setCurrentIndex(open ? ports_.currentIndex() : (ports_.isEmpty() ? 0 : -1));
    ui->pnlSettings->setEnabled(open);
    ui->btnSave->setEnabled(open);
    if (!open) {
        clearPanel();
        return;
    }
    TCommTimeouts t;
    ports_.ReadSettings(dcb_, t);
    dcb_.DCBlength = TDcb::Size;
    timeouts_ = {static_cast<std::int32_t>(t.ReadIntervalTimeout),
                 static_cast<std::int32_t>(t.ReadTotalTimeoutMultiplier),
                 static_cast<std::int32_t>(t.ReadTotalTimeoutConstant),
                 static_cast<std::int32_t>(t.WriteTotalTimeoutMultiplier),
                 static_cast<std::int32_t>(t.WriteTotalTimeoutConstant)};
    for (TEditInt* e : {ui->edtReadIntervalTO, ui->edtReadTotalTOMult, ui->edtReadTotalTOConst,
                        ui->edtWriteTotalTOMult, ui->edtWriteTotalTOConst})
        e->Refresh();
    select(ui->cbxBaudRate, dcb_.BaudRate);
    select(ui->cbxDataBits, dcb_.ByteSize);
    select(ui->cbxParity, dcb_.Parity);
    select(ui->cbxStopBits, dcb_.StopBits);
}

void TfrmCommPort::cbxPortsActivated(int index)
{
    if (!ports_.isEmpty())
        openShared(index);
    ShowPortSettings();
}

void TfrmCommPort::btnAddPortClick()
{
    const QString path = ui->edtPortPath->text().trimmed();
    if (path.isEmpty())
        return;
    const int index = ports_.AddPortByPath(path);
    fillPorts();
    openShared(index);
    ShowPortSettings();
}

void TfrmCommPort::btnSaveClick()
{
    for (TEditInt* e : {ui->edtReadIntervalTO, ui->edtReadTotalTOMult, ui->edtReadTotalTOConst,
                        ui->edtWriteTotalTOMult, ui->edtWriteTotalTOConst})
        if (e->isModified() && !e->Commit())
            return;
    dcb_.BaudRate = static_cast<std::uint32_t>(ui->cbxBaudRate->currentData().toInt());
    dcb_.Parity = static_cast<std::uint8_t>(ui->cbxParity->currentData().toInt());
    dcb_.ByteSize = static_cast<std::uint8_t>(ui->cbxDataBits->currentData().toInt());
    dcb_.StopBits = static_cast<std::uint8_t>(ui->cbxStopBits->currentData().toInt());

    TLoggerBlock& block = store_.settings.logger;
    block.portIndex = static_cast<std::int8_t>(ports_.currentIndex());
    if (wasOpen_)
        reopenIndex_ = ports_.currentIndex();
    block.dcb = dcb_;
    block.timeouts = {static_cast<std::uint32_t>(timeouts_[0]), static_cast<std::uint32_t>(timeouts_[1]),
                      static_cast<std::uint32_t>(timeouts_[2]), static_cast<std::uint32_t>(timeouts_[3]),
                      static_cast<std::uint32_t>(timeouts_[4])};
    store_.project.logger = block;
    ports_.ApplyStoredSettings(block);
}

void TfrmCommPort::closePorts()
{
    if (closed_)
        return;
    closed_ = true;
    ports_.CloseAll();
    if (wasOpen_ && reopenIndex_ >= 0) {
        try {
            ports_.ReopenExclusive(reopenIndex_);
        } catch (const Error& e) {
            showMessage(windowTitle(), QString::fromStdString(e.what()));
        }
    }
}

void TfrmCommPort::done(int result)
{
    closePorts();
    QDialog::done(result);
}

} // namespace selva
