#include "jpeg_file_window/jpeg_file_window.h"

#include "engine/block.h"
#include "picture_compression/zoom_view.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSpinBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextEdit>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <array>
#include <utility>

namespace quadrel {

namespace {

using jpeg_file::BlockContents;
using jpeg_file::JpegFile;

QString Text(const std::string& text) {
    return QString::fromStdString(text);
}

/// An 8x8 grid of whole numbers, row = vertical frequency or pixel row.
QTableWidget* NumberTable(const QString& name, QWidget* parent) {
    auto* table = new QTableWidget(8, 8, parent);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::NoSelection);
    table->setFocusPolicy(Qt::NoFocus);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    table->horizontalHeader()->setDefaultSectionSize(34);
    table->verticalHeader()->setDefaultSectionSize(20);
    QStringList labels;
    for (int i = 0; i < 8; ++i) {
        labels << QString::number(i);
    }
    table->setHorizontalHeaderLabels(labels);
    table->setVerticalHeaderLabels(labels);
    table->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table->setFixedSize(table->verticalHeader()->sizeHint().width() + 8 * 34 + 4,
                        table->horizontalHeader()->sizeHint().height() + 8 * 20 + 4);
    return table;
}

template <typename Values> void Fill(QTableWidget* table, const Values& values) {
    for (int i = 0; i < 64; ++i) {
        auto* item = new QTableWidgetItem(QString::number(values[static_cast<std::size_t>(i)]));
        item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
        table->setItem(i / 8, i % 8, item);
    }
}

void Clear(QTableWidget* table) {
    table->clearContents();
}

QFont FixedFont() {
    return QFontDatabase::systemFont(QFontDatabase::FixedFont);
}

QString ComponentName(const jpeg_file::JpegFile& file, int index) {
    if (!file.FrameHeader || index >= static_cast<int>(file.FrameHeader->Components.size())) {
        return {};
    }
    return QObject::tr("Component %1 (id %2)")
        .arg(index)
        .arg(file.FrameHeader->Components[static_cast<std::size_t>(index)].Id);
}

} // namespace

JpegFileWindow* JpegFileWindow::Open(const QString& fileName, BlockDocument& document,
                                     DesktopServices& desktop, UseTableInWorksheet useTable,
                                     QWidget* messageParent) {
    QFile file(fileName);
    QString problem;
    QByteArray bytes;
    if (!file.open(QIODevice::ReadOnly)) {
        problem = file.errorString();
    } else {
        bytes = file.readAll();
        if (file.error() != QFileDevice::NoError) {
            problem = file.errorString();
        }
    }
    std::optional<jpeg_file::JpegContents> inspection;
    if (problem.isEmpty()) {
        Result<jpeg_file::JpegContents> opened =
            jpeg_file::JpegContents::Open(std::vector<std::uint8_t>(bytes.begin(), bytes.end()));
        if (opened) {
            inspection.emplace(std::move(opened).Value());
        } else {
            problem = Text(opened.Message());
        }
    }
    if (!inspection) {
        desktop.ShowWarning(messageParent, tr("JPEG File"),
                            tr("The file \"%1\" cannot be looked inside: %2")
                                .arg(QDir::toNativeSeparators(fileName), problem));
        return nullptr;
    }
    auto window = std::make_unique<JpegFileWindow>(std::move(*inspection), fileName, document,
                                                   std::move(useTable));
    window->show();
    return window.release(); // deletes itself when closed
}

bool JpegFileWindow::LooksLikeJpeg(const QString& fileName) {
    QFile file(fileName);
    return file.open(QIODevice::ReadOnly) && file.read(2) == QByteArray("\xFF\xD8", 2);
}

JpegFileWindow::JpegFileWindow(jpeg_file::JpegContents inspection, const QString& fileName,
                               BlockDocument& document, UseTableInWorksheet useTable)
    : QWidget(nullptr), contents_(std::move(inspection)), fileName_(fileName), document_(document),
      useTable_(std::move(useTable)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("jpegFileWindow"));
    setWindowTitle(tr("JPEG File"));

    auto* layout = new QVBoxLayout(this);
    auto* name = new QLabel(
        tr("%1 — %2 bytes").arg(QDir::toNativeSeparators(fileName)).arg(contents_.File().FileSize),
        this);
    name->setObjectName(QStringLiteral("fileName"));
    name->setTextInteractionFlags(Qt::TextSelectableByMouse);
    layout->addWidget(name);

    QStringList warnings;
    for (const std::string& w : contents_.Warnings()) {
        warnings << Text(w);
    }
    if (!contents_.File().CannotShow.empty()) {
        warnings << tr("The picture cannot be shown: %1").arg(Text(contents_.File().CannotShow));
    }
    if (!contents_.CoefficientFailure().empty()) {
        warnings << tr("The blocks cannot be read: %1").arg(Text(contents_.CoefficientFailure()));
    }
    auto* warningLabel = new QLabel(warnings.join(QLatin1Char('\n')), this);
    warningLabel->setObjectName(QStringLiteral("warnings"));
    warningLabel->setWordWrap(true);
    warningLabel->setStyleSheet(QStringLiteral("color: #a00000;"));
    warningLabel->setVisible(!warnings.isEmpty());
    layout->addWidget(warningLabel);

    auto* splitter = new QSplitter(Qt::Horizontal, this);
    auto* sections = new QTabWidget(splitter);
    sections->setObjectName(QStringLiteral("sections"));
    sections->addTab(CreateSegments(), tr("Segments"));
    sections->addTab(CreateQuantisation(), tr("Quantisation tables"));
    sections->addTab(CreateHuffman(), tr("Huffman tables"));
    sections->addTab(CreateFrame(), tr("Frame and scans"));
    splitter->addWidget(sections);
    splitter->addWidget(CreatePictureSide());
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({300, 1140});
    layout->addWidget(splitter, 1);
    // Large enough for the three grids of a block side by side, but never
    // beyond the screen (a laptop's 1366 x 768 included).
    const QRect screenArea = screen()->availableGeometry();
    resize(std::min(1440, screenArea.width() * 9 / 10),
           std::min(900, screenArea.height() * 9 / 10));
}

JpegFileWindow::~JpegFileWindow() = default;

QWidget* JpegFileWindow::CreateSegments() {
    auto* tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("segments"));
    tree->setRootIsDecorated(false);
    tree->setHeaderLabels({tr("Offset"), tr("Marker"), tr("Length"), tr("Summary")});
    for (const jpeg_file::Segment& s : contents_.File().Segments) {
        auto* item = new QTreeWidgetItem(tree);
        item->setText(0, QString::number(s.Offset));
        item->setText(1, Text(s.Name));
        item->setText(2, QString::number(s.Length));
        item->setText(3, Text(s.Summary));
        item->setTextAlignment(0, Qt::AlignRight);
        item->setTextAlignment(2, Qt::AlignRight);
    }
    for (int c = 0; c < 3; ++c) {
        tree->resizeColumnToContents(c);
    }
    return tree;
}

QWidget* JpegFileWindow::CreateQuantisation() {
    auto* scroll = new QScrollArea(this);
    auto* page = new QWidget(scroll);
    auto* layout = new QVBoxLayout(page);
    int index = 0;
    for (const jpeg_file::QuantisationTable& t : contents_.File().QuantisationTables) {
        auto* group = new QGroupBox(tr("Table %1 (%2-bit)").arg(t.Id).arg(t.Precision), page);
        auto* inner = new QVBoxLayout(group);
        QTableWidget* grid = NumberTable(QStringLiteral("quantTable%1").arg(index), group);
        Fill(grid, t.Values);
        inner->addWidget(grid);
        auto* quality = new QLabel(Text(jpeg_file::QualityLabel(t)), group);
        quality->setObjectName(QStringLiteral("quality%1").arg(index));
        quality->setWordWrap(true);
        inner->addWidget(quality);
        auto* use = new QPushButton(tr("Use this table in the worksheet"), group);
        use->setObjectName(QStringLiteral("useTable%1").arg(index));
        const bool eightBit =
            std::all_of(t.Values.begin(), t.Values.end(), [](int v) { return v >= 1 && v <= 255; });
        use->setEnabled(eightBit && static_cast<bool>(useTable_));
        if (!eightBit) {
            use->setToolTip(tr("The worksheet takes steps from 1 to 255 only."));
        }
        jpeg::QuantTable values{};
        std::copy(t.Values.begin(), t.Values.end(), values.begin());
        const QString origin = tr("%1, table %2").arg(QFileInfo(fileName_).fileName()).arg(t.Id);
        connect(use, &QPushButton::clicked, this,
                [this, values, origin] { useTable_(values, origin); });
        inner->addWidget(use, 0, Qt::AlignLeft);
        layout->addWidget(group);
        ++index;
    }
    if (index == 0) {
        layout->addWidget(new QLabel(tr("The file defines no quantisation table."), page));
    }
    layout->addStretch(1);
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    return scroll;
}

QWidget* JpegFileWindow::CreateHuffman() {
    auto* tree = new QTreeWidget(this);
    tree->setObjectName(QStringLiteral("huffman"));
    tree->setHeaderLabels({tr("Table / symbol"), tr("Code")});
    for (const jpeg_file::HuffmanTable& t : contents_.File().HuffmanTables) {
        auto* top = new QTreeWidgetItem(tree);
        top->setText(
            0,
            tr("%1 (%2 symbols)").arg(Text(jpeg_file::HuffmanTableName(t))).arg(t.Values.size()));
        QStringList counts;
        for (int count : t.Counts) {
            counts << QString::number(count);
        }
        auto* lengths = new QTreeWidgetItem(top);
        lengths->setText(0, tr("Codes of length 1..16"));
        lengths->setText(1, counts.join(QLatin1Char(' ')));
        for (const jpeg_file::HuffmanCodeEntry& e : jpeg_file::HuffmanCodes(t)) {
            auto* item = new QTreeWidgetItem(top);
            item->setText(0, QStringLiteral("0x%1  %2")
                                 .arg(e.Symbol, 2, 16, QLatin1Char('0'))
                                 .arg(Text(jpeg_file::SymbolText(e.Symbol, t.Kind))));
            item->setText(1, Text(e.Code));
            item->setFont(1, FixedFont());
        }
    }
    tree->resizeColumnToContents(0);
    return tree;
}

QWidget* JpegFileWindow::CreateFrame() {
    const JpegFile& file = contents_.File();
    QStringList lines;
    if (file.FrameHeader) {
        lines << Text(jpeg_file::FrameLine(*file.FrameHeader));
        for (const jpeg_file::FrameComponent& c : file.FrameHeader->Components) {
            lines << tr("  component %1").arg(Text(jpeg_file::ComponentLine(c)));
        }
    } else {
        lines << tr("No frame header.");
    }
    lines << tr("Restart interval: %1 MCUs").arg(file.RestartInterval);
    lines << QString();
    int number = 0;
    for (const jpeg_file::Scan& s : file.Scans) {
        lines << tr("Scan %1: %2").arg(++number).arg(Text(jpeg_file::ScanLine(s)));
    }
    if (file.Exif) {
        lines << QString()
              << tr("Exif: orientation %1, make \"%2\", model \"%3\", date \"%4\"")
                     .arg(file.Exif->Orientation)
                     .arg(Text(file.Exif->Make), Text(file.Exif->Model), Text(file.Exif->DateTime));
    }
    if (!file.IccProfileName.empty()) {
        lines << tr("ICC profile: %1").arg(Text(file.IccProfileName));
    }
    for (const std::string& comment : file.Comments) {
        lines << tr("Comment: %1").arg(Text(comment));
    }
    lines << tr("Bytes after EOI: %1").arg(file.BytesAfterEoi);
    auto* text = new QPlainTextEdit(lines.join(QLatin1Char('\n')), this);
    text->setObjectName(QStringLiteral("frameText"));
    text->setReadOnly(true);
    text->setFont(FixedFont());
    return text;
}

QWidget* JpegFileWindow::CreatePictureSide() {
    // The picture above, the blocks below, the split where the user wants it.
    auto* splitter = new QSplitter(Qt::Vertical, this);
    auto* side = new QWidget(splitter);
    auto* layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* controls = new QHBoxLayout;
    controls->addWidget(new QLabel(tr("Zoom"), side));
    zoom_ = new QSpinBox(side);
    zoom_->setObjectName(QStringLiteral("zoom"));
    zoom_->setRange(1, ZoomView::kMaxZoom);
    zoom_->setSuffix(QStringLiteral("x"));
    controls->addWidget(zoom_);
    auto* grid = new QCheckBox(tr("Block and MCU grid"), side);
    grid->setObjectName(QStringLiteral("grid"));
    grid->setChecked(true);
    controls->addWidget(grid);
    controls->addStretch(1);
    layout->addLayout(controls);

    picture_ = new ZoomView(side);
    picture_->setObjectName(QStringLiteral("picture"));
    picture_->setMinimumSize(320, 240);
    const JpegFile& file = contents_.File();
    const QImage decoded = QImage::fromData(
        QByteArray::fromRawData(reinterpret_cast<const char*>(contents_.Bytes().data()),
                                static_cast<qsizetype>(contents_.Bytes().size())));
    picture_->SetPicture(decoded);
    picture_->SetGrid(true);
    const QSize mcu =
        file.FrameHeader ? QSize(file.FrameHeader->McuWidth, file.FrameHeader->McuHeight) : QSize();
    if (mcu != QSize(8, 8)) {
        picture_->SetMcuGrid(mcu);
    }
    layout->addWidget(picture_, 1);
    connect(zoom_, &QSpinBox::valueChanged, picture_, &ZoomView::SetZoom);
    // A small picture starts magnified so that its blocks can be told apart.
    if (!decoded.isNull()) {
        constexpr int kStartWidth = 640;
        constexpr int kStartHeight = 280;
        zoom_->setValue(
            std::clamp(std::min(kStartWidth / decoded.width(), kStartHeight / decoded.height()), 1,
                       ZoomView::kMaxZoom));
        // Shown from its top-left corner, whatever the view's size was at the zoom.
        picture_->horizontalScrollBar()->setValue(0);
        picture_->verticalScrollBar()->setValue(0);
    }
    connect(grid, &QCheckBox::toggled, this, [this, mcu](bool on) {
        picture_->SetGrid(on);
        picture_->SetMcuGrid(on && mcu != QSize(8, 8) ? mcu : QSize());
    });
    connect(picture_, &ZoomView::BlockClicked, this,
            [this](int column, int row) { ShowBlocksAt(column * 8, row * 8); });

    splitter->addWidget(side);
    side = new QWidget(splitter);
    layout = new QVBoxLayout(side);
    layout->setContentsMargins(0, 0, 0, 0);
    blockStatus_ = new QLabel(decoded.isNull() ? tr("Qt cannot decode this picture.")
                                               : tr("Click a block to look at it."),
                              side);
    blockStatus_->setObjectName(QStringLiteral("blockStatus"));
    blockStatus_->setWordWrap(true);
    layout->addWidget(blockStatus_);

    blockTabs_ = new QTabWidget(side);
    blockTabs_->setObjectName(QStringLiteral("blockTabs"));
    const int components =
        file.FrameHeader ? static_cast<int>(file.FrameHeader->Components.size()) : 0;
    for (int c = 0; c < components; ++c) {
        blockTabs_->addTab(CreateBlockPage(c), ComponentName(file, c));
    }
    shown_.resize(static_cast<std::size_t>(components));
    layout->addWidget(blockTabs_, 1);

    send_ = new QPushButton(tr("Send block to main window"), side);
    send_->setObjectName(QStringLiteral("sendBlock"));
    send_->setEnabled(false);
    connect(send_, &QPushButton::clicked, this, &JpegFileWindow::SendBlock);
    connect(blockTabs_, &QTabWidget::currentChanged, this, [this](int tab) {
        send_->setEnabled(tab >= 0 && tab < static_cast<int>(shown_.size()) &&
                          shown_[static_cast<std::size_t>(tab)].has_value());
    });
    layout->addWidget(send_, 0, Qt::AlignLeft);
    splitter->addWidget(side);
    splitter->setSizes({340, 520});
    return splitter;
}

QWidget* JpegFileWindow::CreateBlockPage(int component) {
    // Scrolled, so that the three grids side by side never widen the window.
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    auto* page = new QWidget(scroll);
    auto* layout = new QGridLayout(page);
    const QString n = QString::number(component);
    auto* info = new QLabel(page);
    info->setObjectName(QStringLiteral("blockInfo") + n);
    info->setWordWrap(true);
    layout->addWidget(info, 0, 0, 1, 3);
    const std::array<std::pair<const char*, QString>, 3> grids = {
        std::pair{"coefficientsGrid", tr("Stored coefficients (quantised)")},
        std::pair{"dequantisedGrid", tr("Dequantised")},
        std::pair{"samplesGrid", tr("Samples (float IDCT + 128)")}};
    for (std::size_t g = 0; g < grids.size(); ++g) {
        layout->addWidget(new QLabel(grids[g].second, page), 1, static_cast<int>(g));
        layout->addWidget(NumberTable(QLatin1String(grids[g].first) + n, page), 2,
                          static_cast<int>(g));
    }
    auto* symbols = new QTreeWidget(page);
    symbols->setObjectName(QStringLiteral("symbols") + n);
    symbols->setRootIsDecorated(false);
    symbols->setHeaderLabels(
        {tr("Symbol"), tr("Run/size"), tr("Value"), tr("Code"), tr("Bits"), tr("At byte.bit")});
    layout->addWidget(symbols, 3, 0, 1, 2);
    auto* bits = new QTextEdit(page);
    bits->setObjectName(QStringLiteral("bits") + n);
    bits->setReadOnly(true);
    bits->setFont(FixedFont());
    layout->addWidget(bits, 3, 2);
    layout->setRowStretch(3, 1);
    symbols->setMinimumHeight(160);
    bits->setMinimumHeight(160);
    scroll->setWidget(page);
    return scroll;
}

void JpegFileWindow::ShowBlocksAt(int x, int y) {
    const JpegFile& file = contents_.File();
    if (!file.FrameHeader) {
        return;
    }
    QStringList problems;
    for (std::size_t c = 0; c < shown_.size(); ++c) {
        const int component = static_cast<int>(c);
        const QString n = QString::number(component);
        auto* info = findChild<QLabel*>(QStringLiteral("blockInfo") + n);
        auto* symbols = findChild<QTreeWidget*>(QStringLiteral("symbols") + n);
        auto* bits = findChild<QTextEdit*>(QStringLiteral("bits") + n);
        const std::array<QTableWidget*, 3> grids = {
            findChild<QTableWidget*>(QStringLiteral("coefficientsGrid") + n),
            findChild<QTableWidget*>(QStringLiteral("dequantisedGrid") + n),
            findChild<QTableWidget*>(QStringLiteral("samplesGrid") + n)};
        symbols->clear();
        bits->clear();
        const jpeg_file::BlockAddress address =
            jpeg_file::BlockAtPixel(*file.FrameHeader, component, x, y);
        Result<BlockContents> block = contents_.Block(address);
        if (!block) {
            shown_[c].reset();
            for (QTableWidget* grid : grids) {
                Clear(grid);
            }
            info->setText(Text(block.Message()));
            problems << Text(block.Message());
            continue;
        }
        Fill(grids[0], block->Coefficients);
        Fill(grids[1], block->Dequantised);
        Fill(grids[2], block->Samples);
        QString text = tr("Block %1, %2 of component %3 (id %4), quantisation table %5; "
                          "samples by %6.")
                           .arg(address.X)
                           .arg(address.Y)
                           .arg(component)
                           .arg(block->ComponentId)
                           .arg(block->QuantTableId)
                           .arg(QLatin1String(jpeg_file::kSampleTransform));
        if (block->Bits) {
            text += QLatin1Char(' ') + tr("Its %1 bits start at byte %2, bit %3.")
                                           .arg(block->Bits->BitLength)
                                           .arg(block->Bits->BitOffset / 8)
                                           .arg(block->Bits->BitOffset % 8);
            for (const jpeg_file::DecodedSymbol& s : block->Symbols) {
                auto* item = new QTreeWidgetItem(symbols);
                item->setText(0, Text(jpeg::SymbolKindName(s.Kind)));
                item->setText(1, QStringLiteral("%1/%2").arg(s.Run).arg(s.Size));
                item->setText(2, QString::number(s.Amplitude));
                item->setText(3, Text(jpeg::BitText(s.Code, s.CodeLength)));
                item->setText(4, Text(jpeg::BitText(s.Bits, s.Size)));
                item->setText(5, tr("%1.%2").arg(s.BitOffset / 8).arg(s.BitOffset % 8));
                item->setFont(3, FixedFont());
                item->setFont(4, FixedFont());
            }
            const jpeg_file::MarkedBytes marked =
                jpeg_file::BitsAround(contents_.Bytes(), *block->Bits);
            bits->setPlainText(Text(marked.Text));
            QList<QTextEdit::ExtraSelection> selections;
            QTextCharFormat highlight;
            highlight.setBackground(QColor(255, 220, 120));
            highlight.setFontWeight(QFont::Bold);
            // The text is ASCII: character positions are byte positions.
            for (const auto& [from, to] : marked.Marked) {
                QTextEdit::ExtraSelection selection;
                selection.cursor = QTextCursor(bits->document());
                selection.cursor.setPosition(static_cast<int>(from));
                selection.cursor.setPosition(static_cast<int>(to), QTextCursor::KeepAnchor);
                selection.format = highlight;
                selections << selection;
            }
            bits->setExtraSelections(selections);
            if (!marked.Marked.empty()) {
                QTextCursor at(bits->document());
                at.setPosition(static_cast<int>(marked.Marked.front().first));
                bits->setTextCursor(at);
                bits->ensureCursorVisible();
            }
        } else {
            text += QLatin1Char(' ') + Text(block->NoBits);
        }
        info->setText(text);
        shown_[c] = std::move(block).Value();
    }
    const jpeg_file::BlockAddress first = jpeg_file::BlockAtPixel(*file.FrameHeader, 0, x, y);
    picture_->SetMark(shown_.empty() || !shown_[0] ? QRect() : [&] {
        const jpeg_file::PixelRect r = jpeg_file::PixelsOfBlock(*file.FrameHeader, first);
        return QRect(r.X, r.Y, r.Width, r.Height);
    }());
    blockStatus_->setText(problems.isEmpty() ? tr("The blocks at pixel x=%1 y=%2.").arg(x).arg(y)
                                             : problems.join(QLatin1Char('\n')));
    const int tab = blockTabs_->currentIndex();
    send_->setEnabled(tab >= 0 && tab < static_cast<int>(shown_.size()) &&
                      shown_[static_cast<std::size_t>(tab)].has_value());
}

void JpegFileWindow::SendBlock() {
    const int tab = blockTabs_->currentIndex();
    if (tab < 0 || tab >= static_cast<int>(shown_.size()) ||
        !shown_[static_cast<std::size_t>(tab)]) {
        return;
    }
    const BlockContents& block = *shown_[static_cast<std::size_t>(tab)];
    Block space;
    for (int k = 0; k < kBlockCells; ++k) {
        space.Cell(k) = block.Samples[static_cast<std::size_t>(k)];
    }
    document_.LoadSpaceBlock(space);
    blockStatus_->setText(tr("Block %1, %2 of component %3 sent to the main window.")
                              .arg(block.Address.X)
                              .arg(block.Address.Y)
                              .arg(block.Address.Component));
}

} // namespace quadrel
