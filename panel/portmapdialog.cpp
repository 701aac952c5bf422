#include "panel/portmapdialog.h"

#include "panel/portmap.h"
#include "serial/portselection.h"
#include "settings/keys.h"
#include "settings/portmap.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QStandardItemModel>
#include <QVBoxLayout>

#include <algorithm>

namespace zq4 {

namespace {

const QString kTitle = QStringLiteral("ZQ4 Ports");
const QString kIntro =
    QStringLiteral("The device each port opens. Leave a row empty for the device "
                   "shown in grey.");
const QString kNotPresent = QStringLiteral("(not present)");
constexpr int kPathRole = Qt::UserRole + 1;
constexpr int kRowWidth = 420;
// What is told beside a row takes the room of this many average letters at least, and at most
// this many more; a longer text is cut short in its middle, whole in its tooltip.
constexpr int kFoundLetters = 16;
constexpr int kFoundLettersMore = 48;

// Whether the device at `path` is there: listed now, or another file that exists (a
// pseudo-terminal is never listed). A /dev/ttyS node exists whether or not a port is behind it:
// it is there only when listed.
bool isPresent(const std::vector<SerialDevice>& present, const QString& path) {
    if (FindDevice(present, path) != nullptr) {
        return true;
    }
    const QFileInfo file(path);
    static const QRegularExpression serialNode(QStringLiteral("^/dev/ttyS[0-9]+$"));
    return file.exists() && !serialNode.match(file.canonicalFilePath()).hasMatch();
}

// Says what a row's device is in the room it is given, whatever is typed: a text that does not
// fit is cut short in its middle, so that the dialog keeps its width. text() is the whole text.
class FoundLabel final : public QLabel {
public:
    using QLabel::QLabel;

protected:
    void paintEvent(QPaintEvent* event) override {
        const QRect room = contentsRect();
        if (fontMetrics().horizontalAdvance(text()) <= room.width()) {
            QLabel::paintEvent(event);
            return;
        }
        QPainter painter(this);
        style()->drawItemText(&painter, room, int(alignment()), palette(), isEnabled(),
                              fontMetrics().elidedText(text(), Qt::ElideMiddle, room.width()),
                              foregroundRole());
    }
};

// The list shows each device with what is known of it, while the edit line, which holds what
// is stored, takes its path alone.
class DeviceListModel final : public QStandardItemModel {
public:
    using QStandardItemModel::QStandardItemModel;
    QVariant data(const QModelIndex& index, int role) const override {
        return QStandardItemModel::data(index, role == Qt::EditRole ? kPathRole : role);
    }
};

QStandardItem* deviceItem(const QString& shown, const QString& path, const QString& toolTip) {
    auto* item = new QStandardItem(shown);
    item->setData(path, kPathRole);
    item->setToolTip(toolTip);
    return item;
}

} // namespace

PortMapDialog::PortMapDialog(DeviceDiscovery& discovery, const QStringList& stored, QWidget* parent)
    : QDialog(parent), m_discovery(discovery) {
    setObjectName(QStringLiteral("PortMap"));
    setWindowTitle(kTitle);
    setModal(true);
    // Made first, so that a screen reader reads it first; and told with the dialog's name.
    auto* intro = new QLabel(kIntro, this);
    intro->setWordWrap(true);
    setAccessibleDescription(kIntro);

    auto* grid = new QGridLayout;
    for (const PortEntry& entry : PortSelection()) {
        const QString port = keys::portKey(entry.portNumber);
        Row row;
        row.stored = stored.value(entry.portNumber - 1).trimmed();
        row.device = new QComboBox(this);
        row.device->setObjectName(port);
        row.device->setModel(new DeviceListModel(row.device));
        row.device->setEditable(true);
        // What is typed stays as typed: no entry is added, and nothing completes it.
        row.device->setInsertPolicy(QComboBox::NoInsert);
        row.device->setCompleter(nullptr);
        row.device->setMinimumWidth(kRowWidth);
        row.device->lineEdit()->setPlaceholderText(PortMap::DefaultDevice(entry.portNumber));
        row.device->setAccessibleName(QStringLiteral("%1 device").arg(entry.label));

        // "Com&1:": Alt and the port's digit reach its row.
        auto* label = new QLabel(QString(entry.label).insert(3, u'&'), this);
        label->setBuddy(row.device);

        row.found = new FoundLabel(this);
        row.found->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
        row.found->setObjectName(port + QStringLiteral("Found"));
        row.found->setAccessibleName(QStringLiteral("%1 device found").arg(entry.label));
        row.found->setTextInteractionFlags(Qt::TextSelectableByMouse);

        grid->addWidget(label, entry.portNumber - 1, 0);
        grid->addWidget(row.device, entry.portNumber - 1, 1);
        grid->addWidget(row.found, entry.portNumber - 1, 2);
        connect(row.device, &QComboBox::editTextChanged, this,
                [this, position = m_rows.size(), portNumber = entry.portNumber] {
                    showFound(m_rows[position], portNumber);
                });
        m_rows.push_back(row);
    }
    grid->setColumnStretch(1, 1);

    auto* refreshButton = new QPushButton(QStringLiteral("&Refresh"), this);
    refreshButton->setObjectName(QStringLiteral("Refresh"));
    refreshButton->setToolTip(QStringLiteral("Lists the serial devices present now"));
    refreshButton->setAutoDefault(false);
    m_listed = new QLabel(this);
    m_listed->setObjectName(QStringLiteral("Listed"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(refreshButton, &QPushButton::clicked, this, &PortMapDialog::refresh);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(intro);
    layout->addLayout(grid);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(refreshButton);
    buttonRow->addWidget(m_listed);
    buttonRow->addStretch();
    buttonRow->addWidget(buttons);
    layout->addLayout(buttonRow);

    refresh();
    for (const Row& row : m_rows) {
        row.device->setEditText(row.stored);
    }
    m_rows.front().device->setFocus();
}

QStringList PortMapDialog::devices() const {
    QStringList devices;
    for (const Row& row : m_rows) {
        devices << row.device->currentText().trimmed();
    }
    return devices;
}

void PortMapDialog::refresh() {
    m_present = m_discovery.devices();
    const auto count = static_cast<int>(m_present.size());
    m_listed->setText(count == 0   ? QStringLiteral("Found no serial devices.")
                      : count == 1 ? QStringLiteral("Found 1 serial device.")
                                   : QStringLiteral("Found %1 serial devices.").arg(count));
    // Room for what is known of each device present, within bounds, so that nothing typed
    // changes the dialog's width.
    const QFontMetrics metrics = m_rows.front().found->fontMetrics();
    int foundWidth = metrics.horizontalAdvance(QStringLiteral("/dev/ttyUSB0 ") + kNotPresent);
    for (const SerialDevice& device : m_present) {
        foundWidth = std::max(foundWidth, metrics.horizontalAdvance(DescribeDevice(device)));
    }
    foundWidth = std::clamp(foundWidth, kFoundLetters * metrics.averageCharWidth(),
                            (kFoundLetters + kFoundLettersMore) * metrics.averageCharWidth());
    for (std::size_t position = 0; position < m_rows.size(); ++position) {
        Row& row = m_rows[position];
        row.found->setFixedWidth(foundWidth);
        const QString text = row.device->currentText();
        fill(row, static_cast<int>(position) + 1);
        row.device->setCurrentIndex(-1);
        row.device->setEditText(text);
        showFound(row, static_cast<int>(position) + 1);
        // The popup list is wide enough to show each device whole.
        QAbstractItemView* list = row.device->view();
        list->setMinimumWidth(list->sizeHintForColumn(0) +
                              list->verticalScrollBar()->sizeHint().width() +
                              2 * list->frameWidth());
    }
}

void PortMapDialog::fill(Row& row, int portNumber) {
    auto* model = static_cast<QStandardItemModel*>(row.device->model());
    model->clear();
    // A stored device that is gone stays on the list, marked, so that choosing another is a
    // visible change.
    if (!row.stored.isEmpty() &&
        !isPresent(m_present, PortMap::EntryDevice(row.stored, portNumber))) {
        model->appendRow(deviceItem(QStringLiteral("%1 %2").arg(row.stored, kNotPresent),
                                    row.stored, row.stored));
    }
    for (const SerialDevice& device : m_present) {
        const QString known = DescribeDevice(device);
        model->appendRow(deviceItem(
            known.isEmpty() ? device.path : QStringLiteral("%1 - %2").arg(known, device.path),
            device.path,
            device.path == device.systemPath
                ? device.path
                : QStringLiteral("%1 (now %2)").arg(device.path, device.systemPath)));
    }
}

void PortMapDialog::showFound(const Row& row, int portNumber) {
    // What is looked for is the device the port opens, the default device of an empty row too.
    const QString typed = row.device->currentText().trimmed();
    const QString path = PortMap::EntryDevice(typed, portNumber);
    const QString label = PortLabel(portNumber);
    row.device->setAccessibleDescription(
        typed.isEmpty() ? QStringLiteral("Empty: not mapped, %1 uses %2").arg(label, path)
                        : QStringLiteral("%1 opens %2").arg(label, path));
    QString found;
    if (const SerialDevice* device = FindDevice(m_present, path)) {
        found = DescribeDevice(*device);
    } else if (!isPresent(m_present, path)) {
        found = kNotPresent;
    }
    // A name typed without its folder is shown with the path it stands for, as the list shows a
    // device with its path.
    if (!typed.isEmpty() && path != typed) {
        found = found.isEmpty()        ? path
                : found == kNotPresent ? QStringLiteral("%1 %2").arg(path, kNotPresent)
                                       : QStringLiteral("%1 - %2").arg(found, path);
    }
    row.found->setText(found);
    row.found->setToolTip(found);
}

} // namespace zq4
