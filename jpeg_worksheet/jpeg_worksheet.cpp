#include "jpeg_worksheet/jpeg_worksheet.h"

#include "block_file/block_file_io.h"
#include "engine/cell_text.h"
#include "jpeg/engine_layout.h"
#include "jpeg_worksheet/live_text.h"
#include "jpeg_worksheet/number_grid.h"
#include "jpeg_worksheet/text_lines.h"
#include "views/settings_file.h"
#include "views/slide_export.h"
#include "views/view_zoom.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QShortcut>
#include <QSlider>
#include <QSpinBox>
#include <QTextDocument>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace quadrel::worksheet {

namespace {

constexpr int kDefaultQuality = 50;
const QString kGeometryKey = QStringLiteral("JpegWorksheet/geometry");
const QString kQualityKey = QStringLiteral("JpegWorksheet/quality");
const QString kComponentKey = QStringLiteral("JpegWorksheet/component");
// The combo box's entries in order, and the words stored for them.
constexpr std::array kComponents = {jpeg::HuffmanClass::Luminance, jpeg::HuffmanClass::Chrominance};
constexpr std::array kComponentWords = {"luminance", "chrominance"};

std::size_t At(int k) {
    return static_cast<std::size_t>(k);
}

template <typename Numbers> NumberGrid::Values AsValues(const Numbers& numbers) {
    NumberGrid::Values values{};
    for (std::size_t i = 0; i < values.size(); ++i) {
        values[i] = static_cast<double>(numbers[i]);
    }
    return values;
}

/// Sets a label's text only when it differs: an unchanged label costs nothing,
/// a changed one asks its layout to look again.
void SetText(QLabel* label, const QString& text) {
    if (label->text() != text) {
        label->setText(text);
    }
}

QString KindName(jpeg::SymbolKind kind) {
    switch (kind) {
    case jpeg::SymbolKind::Dc:
        return QStringLiteral("DC");
    case jpeg::SymbolKind::Ac:
        return QStringLiteral("AC");
    case jpeg::SymbolKind::Zrl:
        return QStringLiteral("ZRL");
    case jpeg::SymbolKind::Eob:
        break;
    }
    return QStringLiteral("EOB");
}

QString Bits(std::uint32_t bits, int length) {
    return QString::fromStdString(jpeg::BitText(bits, length));
}

constexpr int kSymbolColumnCount = 6;
// The symbol list asks for a heading and 21 symbols, most blocks at the usual
// qualities; the page's right column is that tall anyway, and any more height
// the window gets shows more.
constexpr int kSymbolLinesAsked = 22;
using SymbolCells = std::array<QString, kSymbolColumnCount>;
// The widest entry of each column: a kind (ZRL), a run/size (15/10), a value
// (-2047), a Huffman code (16 bits), amplitude bits (11) and a length (27).
constexpr std::array<int, kSymbolColumnCount> kSymbolEntryWidths{3, 5, 5, 16, 11, 2};
// Numbers are right-aligned, text left-aligned.
constexpr std::array<bool, kSymbolColumnCount> kSymbolRightAligned{false, false, true,
                                                                   false, false, true};

SymbolCells SymbolHeadings() {
    return {QObject::tr("Kind"), QObject::tr("Run/Size"),       QObject::tr("Value"),
            QObject::tr("Code"), QObject::tr("Amplitude bits"), QObject::tr("Length")};
}

/// One line of the symbol list: every column as wide as its heading or its
/// widest entry, so that each heading stands over its own column.
QString SymbolRow(const SymbolCells& cells) {
    const SymbolCells headings = SymbolHeadings();
    QStringList row;
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const int width =
            std::max(static_cast<int>(headings.at(i).size()), kSymbolEntryWidths.at(i));
        row << (kSymbolRightAligned.at(i) ? cells.at(i).rightJustified(width)
                                          : cells.at(i).leftJustified(width));
    }
    return row.join(QLatin1Char(' '));
}

/// The symbol list's heading, in the columns of its lines.
QString SymbolHeading() {
    return SymbolRow(SymbolHeadings());
}

/// A heading and one line per symbol, in fixed columns for the fixed-pitch list.
QStringList SymbolLines(const jpeg::SymbolList& symbols) {
    QStringList lines{SymbolHeading()};
    for (const jpeg::Symbol& s : symbols) {
        const bool valued = s.Kind == jpeg::SymbolKind::Ac || s.Kind == jpeg::SymbolKind::Dc;
        lines << SymbolRow({KindName(s.Kind), QStringLiteral("%1/%2").arg(s.Run).arg(s.Size),
                            valued ? QString::number(s.Amplitude) : QString(),
                            Bits(s.Code.Code, s.Code.Length), Bits(s.Bits, s.Size),
                            QString::number(s.Length())});
    }
    return lines;
}

/// The indices up to the last non-zero one, then EOB, as textbooks write them.
QString ZigZagText(const jpeg::Indices& zigzag) {
    int last = jpeg::kBlockCells - 1;
    while (last > 0 && zigzag[At(last)] == 0) {
        --last;
    }
    QStringList items;
    for (int i = 0; i <= last; ++i) {
        items << QString::number(zigzag[At(i)]);
    }
    if (last < jpeg::kBlockCells - 1) {
        items << QStringLiteral("EOB");
    }
    return items.join(QStringLiteral(", "));
}

QLabel* Caption(const QString& text, QWidget* buddy) {
    auto* label = new QLabel(text);
    label->setBuddy(buddy);
    return label;
}

/// Group boxes with half the style's spacing: three rows of them must fit a
/// projector's height at 150 %.
void Tighten(QLayout* layout) {
    const int margin = layout->contentsMargins().left() / 2;
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->setSpacing(std::max(2, layout->spacing() / 2));
}

/// A grid under its caption (lines broken by hand: a wrapped label misleads
/// the layout about its height); the caption also names the grid for screen
/// readers.
QVBoxLayout* Captioned(const QString& caption, NumberGrid* grid) {
    auto* box = new QVBoxLayout;
    box->addWidget(Caption(caption, grid));
    box->addWidget(grid);
    box->addStretch();
    grid->setAccessibleName(
        QString(caption).remove(QLatin1Char('&')).replace(QLatin1Char('\n'), QLatin1Char(' ')));
    return box;
}

} // namespace

jpeg::Samples SamplesFromSpace(const Block& space, bool& adjusted) {
    adjusted = false;
    return jpeg::ToRowMajor<std::uint8_t>(space, [&adjusted](double value) {
        const int grey = GreyLevel(value);
        adjusted = adjusted || value != static_cast<double>(grey);
        return static_cast<std::uint8_t>(grey);
    });
}

JpegWorksheet::JpegWorksheet(BlockDocument& document, DesktopServices& desktop, QWidget* parent)
    : QWidget(parent, Qt::Window), document_(document), desktop_(desktop) {
    setWindowTitle(tr("JPEG Worksheet"));
    CreateControls();
    Restore();
    settings_.Component = kComponents.at(static_cast<std::size_t>(component_->currentIndex()));
    settings_.Table = jpeg::StandardTable(settings_.Component, quality_->value());
    connect(&document_, &BlockDocument::BlockChanged, this, &JpegWorksheet::Recompute);
    Recompute();
}

JpegWorksheet::~JpegWorksheet() {
    Save();
}

void JpegWorksheet::CreateControls() {
    CreateGrids();
    QGroupBox* blockBox = CreateBlockGroup();
    QGroupBox* dctBox = CreateTransformGroup();
    QGroupBox* tableBox = CreateTableGroup();
    QGroupBox* quantBox = CreateQuantisedGroup();
    QGroupBox* codeBox = CreateCodingGroup();
    QGroupBox* keepBox = CreateKeepGroup();
    QGroupBox* reconBox = CreateReconstructionGroup();
    QLabel* relationRule = CreateRelationRule();

    // Two columns, so that the page fits a 1920 x 1080 projector at 150 %:
    // on the left the table's settings over three rows of grids (the block
    // over its transform, the table over the indices, then the
    // reconstruction); on the right, as tall as the page, the coding with its
    // symbol list, which takes any height the window has beyond the page's.
    auto* page = new QWidget;
    auto* pageLayout = new QVBoxLayout(page);
    pageLayout->setContentsMargins(0, 0, 0, 0);
    auto* columns = new QHBoxLayout;
    auto* left = new QVBoxLayout;
    left->addLayout(tableSettings_);
    auto* first = new QHBoxLayout;
    first->addWidget(blockBox);
    first->addWidget(tableBox);
    first->addStretch();
    auto* second = new QHBoxLayout;
    second->addWidget(dctBox);
    second->addWidget(quantBox);
    second->addStretch();
    auto* third = new QHBoxLayout;
    third->addWidget(reconBox);
    third->addStretch();
    left->addLayout(first);
    left->addLayout(second);
    left->addLayout(third);
    left->addStretch();
    auto* right = new QVBoxLayout;
    right->addWidget(codeBox, 1);
    right->addWidget(keepBox);
    right->addWidget(relationRule);
    right->addWidget(relation_);
    columns->addLayout(left);
    columns->addLayout(right, 1);
    pageLayout->addLayout(columns, 1);
    auto* scroll = new QScrollArea;
    scroll->setWidget(page);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);

    QHBoxLayout* buttons = CreateButtons();
    reconstructionBox_ = reconBox;
    CreateExercise(pageLayout, buttons);
    auto* layout = new QVBoxLayout(this);
    const int margin = layout->contentsMargins().left() / 2;
    layout->setContentsMargins(margin, margin, margin, margin);
    layout->addWidget(scroll, 1);
    layout->addLayout(buttons);

    ConnectControls();
    SetTabOrder();
}

void JpegWorksheet::CreateGrids() {
    using G = Grid;
    const auto make = [this](G which, const char* name, NumberGrid::Look look,
                             const QString& widest) {
        auto* grid = new NumberGrid(look, widest);
        grid->setObjectName(QLatin1String(name));
        grids_[static_cast<std::size_t>(which)] = grid;
    };
    make(G::Pixels, "pixelsGrid", NumberGrid::Look::Whole, QStringLiteral("255"));
    make(G::Shifted, "shiftedGrid", NumberGrid::Look::Whole, QStringLiteral("-128"));
    make(G::Coefficients, "coefficientsGrid", NumberGrid::Look::OneDecimal,
         QStringLiteral("-1024.0"));
    make(G::Table, "tableGrid", NumberGrid::Look::Whole, QStringLiteral("255"));
    make(G::Quantised, "quantisedGrid", NumberGrid::Look::Whole, QStringLiteral("-1024"));
    make(G::Reconstruction, "reconstructionGrid", NumberGrid::Look::Whole, QStringLiteral("255"));
    make(G::Error, "errorGrid", NumberGrid::Look::Whole, QStringLiteral("-255"));
    make(G::OriginalSquares, "originalSquaresGrid", NumberGrid::Look::Grey, QString());
    make(G::ReconstructionSquares, "reconstructionSquaresGrid", NumberGrid::Look::Grey, QString());
    GridOf(G::Quantised)->SetMarkNonZero(true);
    GridOf(G::Quantised)->SetZigZagPath(true, jpeg::kBlockCells);
}

QGroupBox* JpegWorksheet::CreateBlockGroup() {
    auto* box = new QGroupBox(tr("1  The block"));
    auto* layout = new QGridLayout(box);
    Tighten(layout);
    layout->addLayout(Captioned(tr("Pixels f(x, y): the space block"), GridOf(Grid::Pixels)), 0, 0);
    layout->addLayout(Captioned(tr("Level-shifted: f(x, y) \u2212 128"), GridOf(Grid::Shifted)), 0,
                      1);
    note_ = new QLabel;
    note_->setObjectName(QStringLiteral("note"));
    note_->setWordWrap(true);
    layout->addWidget(note_, 1, 0, 1, 2);
    return box;
}

QGroupBox* JpegWorksheet::CreateTransformGroup() {
    auto* box = new QGroupBox(tr("2  JPEG DCT"));
    auto* layout = new QVBoxLayout(box);
    Tighten(layout);
    layout->addLayout(Captioned(tr("&DCT coefficients F(u, v), one decimal; hover or use the "
                                   "arrow keys for the exact value"),
                                GridOf(Grid::Coefficients)));
    return box;
}

QGroupBox* JpegWorksheet::CreateTableGroup() {
    auto* box = new QGroupBox(tr("3  Quantisation table"));
    auto* layout = new QVBoxLayout(box);
    Tighten(layout);
    standardTable_ = new QRadioButton(tr("Standard table at &quality"));
    standardTable_->setObjectName(QStringLiteral("standardTableOption"));
    standardTable_->setChecked(true);
    quality_ = new QSpinBox;
    quality_->setObjectName(QStringLiteral("qualityBox"));
    quality_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    quality_->setValue(kDefaultQuality);
    quality_->setAccessibleName(tr("Quality"));
    qualitySlider_ = new QSlider(Qt::Horizontal);
    qualitySlider_->setObjectName(QStringLiteral("qualitySlider"));
    qualitySlider_->setRange(jpeg::kMinQuality, jpeg::kMaxQuality);
    qualitySlider_->setValue(kDefaultQuality);
    qualitySlider_->setAccessibleName(tr("Quality"));
    component_ = new QComboBox;
    component_->setObjectName(QStringLiteral("componentBox"));
    component_->addItems({tr("Luminance (Y)"), tr("Chrominance (Cb, Cr)")});
    component_->setAccessibleName(tr("Component"));
    component_->setToolTip(tr("Whose standard table and Huffman codes the block is coded with"));
    fileTable_ = new QRadioButton(tr("Table from a &file"));
    fileTable_->setObjectName(QStringLiteral("fileTableOption"));
    fileTable_->setEnabled(false);
    loadTable_ = new QPushButton(tr("&Load Table..."));
    loadTable_->setObjectName(QStringLiteral("loadTableButton"));
    tableCaption_ = new QLabel;
    tableCaption_->setObjectName(QStringLiteral("tableCaption"));
    // The table's settings in one line over the grids, where they take no
    // row of grids' height.
    tableSettings_ = new QHBoxLayout;
    tableSettings_->addWidget(standardTable_);
    tableSettings_->addWidget(quality_);
    tableSettings_->addWidget(component_);
    tableSettings_->addWidget(qualitySlider_, 1);
    tableSettings_->addWidget(fileTable_);
    tableSettings_->addWidget(loadTable_);
    layout->addWidget(tableCaption_);
    layout->addWidget(GridOf(Grid::Table));
    layout->addStretch();
    GridOf(Grid::Table)->setAccessibleName(tr("Quantisation table Q(u, v)"));
    return box;
}

QGroupBox* JpegWorksheet::CreateQuantisedGroup() {
    auto* box = new QGroupBox(tr("4  Quantised indices"));
    auto* layout = new QVBoxLayout(box);
    Tighten(layout);
    layout->addLayout(
        Captioned(tr("round(F(u, v) / Q(u, v)), non-zero ones marked"), GridOf(Grid::Quantised)));
    nonZero_ = new LiveText(tr("64 of 64 indices are not zero."), 1);
    nonZero_->setObjectName(QStringLiteral("nonZeroLabel"));
    layout->addWidget(nonZero_);
    return box;
}

QGroupBox* JpegWorksheet::CreateCodingGroup() {
    auto* box = new QGroupBox(tr("5  Zig-zag and Huffman coding"));
    auto* layout = new QVBoxLayout(box);
    Tighten(layout);
    zigzag_ = new LiveText(QString(), 3);
    zigzag_->setObjectName(QStringLiteral("zigZagLabel"));
    zigzag_->setAccessibleName(tr("Zig-zag sequence"));
    layout->addWidget(new QLabel(tr("Zig-zag sequence (up to the last non-zero index):")));
    layout->addWidget(zigzag_);
    auto* dcRow = new QHBoxLayout;
    previousDc_ = new QSpinBox;
    previousDc_->setObjectName(QStringLiteral("previousDcBox"));
    previousDc_->setRange(report::kLowestDc, report::kHighestDc);
    previousDc_->setValue(0);
    dcRow->addWidget(Caption(tr("&Previous block's DC:"), previousDc_));
    dcRow->addWidget(previousDc_);
    dcDifference_ = new LiveText(tr("DC difference = -1024 - (-1024) = 0"), 1);
    dcDifference_->setObjectName(QStringLiteral("dcDifferenceLabel"));
    dcRow->addWidget(dcDifference_, 1);
    layout->addLayout(dcRow);
    symbols_ = new TextLines(SymbolHeading(), kSymbolLinesAsked);
    symbols_->setObjectName(QStringLiteral("symbolList"));
    symbols_->setAccessibleName(tr("Symbols with their Huffman codes and amplitude bits"));
    layout->addWidget(Caption(tr("S&ymbols: the DC difference, then (run/size) of the AC\n"
                                 "indices; ZRL stands for 16 zeros, EOB ends the block"),
                              symbols_));
    layout->addWidget(symbols_, 1);
    totals_ = new LiveText(QString(), 2);
    totals_->setObjectName(QStringLiteral("totalsLabel"));
    totals_->setAccessibleName(tr("Bits"));
    layout->addWidget(totals_);
    return box;
}

QGroupBox* JpegWorksheet::CreateKeepGroup() {
    auto* box = new QGroupBox(tr("6  Keep the first k coefficients"));
    auto* layout = new QVBoxLayout(box);
    Tighten(layout);
    keep_ = new QSlider(Qt::Horizontal);
    keep_->setObjectName(QStringLiteral("keepSlider"));
    keep_->setRange(0, jpeg::kBlockCells);
    keep_->setValue(jpeg::kBlockCells);
    keep_->setPageStep(8);
    keep_->setAccessibleName(tr("Coefficients kept in zig-zag order"));
    keepLabel_ = new QLabel;
    keepLabel_->setObjectName(QStringLiteral("keepLabel"));
    layout->addWidget(Caption(tr("&Keep the first k in zig-zag order, zero the rest:"), keep_));
    layout->addWidget(keep_);
    layout->addWidget(keepLabel_);
    layout->addStretch();
    return box;
}

QGroupBox* JpegWorksheet::CreateReconstructionGroup() {
    auto* box = new QGroupBox(tr("7  Reconstruction"));
    auto* layout = new QGridLayout(box);
    Tighten(layout);
    layout->addLayout(
        Captioned(tr("Inverse DCT + 128, rounded, 0 to 255"), GridOf(Grid::Reconstruction)), 0, 0);
    layout->addLayout(Captioned(tr("Original"), GridOf(Grid::OriginalSquares)), 0, 1);
    layout->addLayout(Captioned(tr("Reconstructed"), GridOf(Grid::ReconstructionSquares)), 0, 2);
    layout->addLayout(Captioned(tr("Error: original \u2212 reconstruction"), GridOf(Grid::Error)),
                      0, 3);
    error_ = new LiveText(tr("MSE 16256.2500, PSNR 6.02 dB."), 1);
    error_->setObjectName(QStringLiteral("errorLabel"));
    error_->setAccessibleName(tr("Error measures"));
    layout->addWidget(error_, 1, 0, 1, 4);
    return box;
}

QLabel* JpegWorksheet::CreateRelationRule() {
    // Lines broken by hand: a wrapped label misleads the layout about its height.
    auto* rule = new QLabel(
        tr("8  The main window's coefficients are these scaled:\n"
           "F_Quadrel(u, v) = C(u)\u00b7C(v)\u00b7F_JPEG(u, v) with C(0) = 1/\u221a2 and C(k) = 1\n"
           "otherwise; and, as Quadrel does not subtract 128,\n"
           "F_Quadrel(0, 0) = (F_JPEG(0, 0) + 1024) / 2 (up to Quadrel's \u03c0 = 3.1415927).\n"
           "For this block:"));
    rule->setObjectName(QStringLiteral("relationRule"));
    relation_ = new LiveText(tr("F_Quadrel(0, 0) = (-1024.000 + 1024) / 2 = 0.000"), 1);
    relation_->setObjectName(QStringLiteral("relationLabel"));
    relation_->setAccessibleName(tr("Relation to the main window's coefficients"));
    return rule;
}

QHBoxLayout* JpegWorksheet::CreateButtons() {
    send_ = new QPushButton(tr("&Send Reconstruction to Main Window"));
    send_->setObjectName(QStringLiteral("sendButton"));
    copy_ = new QPushButton(tr("&Copy as"));
    copy_->setObjectName(QStringLiteral("copyButton"));
    auto* copyMenu = new QMenu(copy_);
    copyMenu->setObjectName(QStringLiteral("copyMenu"));
    const std::array<std::pair<QString, report::Format>, 4> formats{{
        {tr("&Text"), report::Format::Text},
        {tr("C&SV"), report::Format::Csv},
        {tr("&Markdown"), report::Format::Markdown},
        {tr("&LaTeX"), report::Format::Latex},
    }};
    for (const auto& [name, format] : formats) {
        const report::Format chosen = format;
        connect(copyMenu->addAction(name), &QAction::triggered, this,
                [this, chosen] { CopyReport(chosen); });
    }
    copy_->setMenu(copyMenu);
    close_ = new QPushButton(tr("Close"));
    close_->setObjectName(QStringLiteral("closeButton"));
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(send_);
    buttons->addWidget(copy_);
    buttons->addWidget(CreateExportButton());
    buttons->addStretch();
    buttons->addWidget(close_);
    return buttons;
}

QPushButton* JpegWorksheet::CreateExportButton() {
    auto* button = new QPushButton(tr("E&xport"));
    button->setObjectName(QStringLiteral("exportButton"));
    auto* menu = new QMenu(button);
    menu->setObjectName(QStringLiteral("exportMenu"));
    // Made when the menu opens: the page and its boxes exist by then.
    connect(menu, &QMenu::aboutToShow, this, [this, menu] {
        menu->clear();
        auto* page = findChild<QScrollArea*>()->widget();
        const auto add = [this, menu](const QString& text, const QString& name, QWidget* part,
                                      const QString& file) {
            QAction* save = menu->addAction(tr("Export %1…").arg(text));
            save->setObjectName(QStringLiteral("export%1Action").arg(name));
            connect(save, &QAction::triggered, this, [this, part, file] {
                ExportSlide(desktop_, this, tr("Export Picture"), file, part);
            });
            QAction* copy = menu->addAction(tr("Copy %1 as Picture").arg(text));
            copy->setObjectName(QStringLiteral("copy%1Action").arg(name));
            connect(copy, &QAction::triggered, this, [part] { CopyShownWidget(*part); });
        };
        add(tr("Whole Page"), QStringLiteral("Page"), page, QStringLiteral("worksheet.png"));
        menu->addSeparator();
        for (QGroupBox* box : page->findChildren<QGroupBox*>()) {
            const QString step = box->title().section(QLatin1Char(' '), 0, 0); // "1  The block"
            add(tr("Step \"%1\"").arg(box->title().simplified()),
                QStringLiteral("Step%1").arg(step), box,
                QStringLiteral("worksheet-step-%1.png").arg(step));
        }
        menu->addSeparator();
        menu->addAction(sheetAction_);
    });
    button->setMenu(menu);
    return button;
}

void JpegWorksheet::ConnectControls() {
    connect(quality_, &QSpinBox::valueChanged, this, &JpegWorksheet::ChooseQuality);
    connect(qualitySlider_, &QSlider::valueChanged, this, &JpegWorksheet::ChooseQuality);
    connect(standardTable_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            ChooseQuality(quality_->value());
        }
    });
    connect(fileTable_, &QRadioButton::toggled, this, [this](bool on) {
        if (on) {
            settings_.Table = fileTableValues_;
            Recompute();
        }
    });
    connect(component_, &QComboBox::currentIndexChanged, this, &JpegWorksheet::ChooseComponent);
    connect(loadTable_, &QPushButton::clicked, this, &JpegWorksheet::LoadTable);
    connect(previousDc_, &QSpinBox::valueChanged, this, [this](int dc) {
        settings_.PreviousDc = dc;
        Recompute();
    });
    connect(keep_, &QSlider::valueChanged, this, [this](int k) {
        settings_.Keep = k;
        Recompute();
    });
    connect(send_, &QPushButton::clicked, this, &JpegWorksheet::SendReconstruction);
    connect(close_, &QPushButton::clicked, this, &QWidget::close);
    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void JpegWorksheet::SetTabOrder() {
    const std::array<QWidget*, 13> order{GridOf(Grid::Coefficients),
                                         standardTable_,
                                         quality_,
                                         component_,
                                         qualitySlider_,
                                         fileTable_,
                                         loadTable_,
                                         previousDc_,
                                         symbols_,
                                         keep_,
                                         send_,
                                         copy_,
                                         close_};
    for (std::size_t i = 0; i + 1 < order.size(); ++i) {
        QWidget::setTabOrder(order[i], order[i + 1]);
    }
}

void JpegWorksheet::Restore() {
    const StoredSettings stored;
    bool ok = false;
    const int quality = stored.Value(kQualityKey).toInt(&ok);
    if (ok && quality >= jpeg::kMinQuality && quality <= jpeg::kMaxQuality) {
        quality_->setValue(quality);
    }
    const QString component = stored.Value(kComponentKey).toString();
    for (std::size_t i = 0; i < kComponentWords.size(); ++i) {
        if (component == QLatin1String(kComponentWords.at(i))) {
            component_->setCurrentIndex(static_cast<int>(i));
        }
    }
    // The whole page where the screen allows, scrolled where it does not.
    QSize wanted = PageSize();
    if (const QScreen* where = screen()) {
        wanted = wanted.boundedTo(where->availableSize() * 19 / 20);
    }
    // A stored window less than half that size in either direction shows too
    // little of the page to work in: such a geometry is damaged, not chosen.
    const QSize least = wanted / 2;
    if (!restoreGeometry(stored.Value(kGeometryKey).toByteArray()) || width() < least.width() ||
        height() < least.height()) {
        resize(wanted);
    }
}

QSize JpegWorksheet::PageSize() const {
    // The page, the button row under it and the window's margins; not the
    // window's own size hint, in which a scroll area counts as capped in size.
    const QSize page = findChild<QScrollArea*>()->widget()->sizeHint();
    const QSize buttons = layout()->itemAt(1)->sizeHint();
    const QMargins margins = layout()->contentsMargins();
    return {std::max(page.width(), buttons.width()) + margins.left() + margins.right(),
            page.height() + layout()->spacing() + buttons.height() + margins.top() +
                margins.bottom()};
}

void JpegWorksheet::Save() const {
    StoredSettings stored;
    stored.SetValue(kGeometryKey, saveGeometry());
    stored.SetValue(kQualityKey, quality_->value());
    stored.SetValue(kComponentKey, QLatin1String(kComponentWords.at(
                                       static_cast<std::size_t>(component_->currentIndex()))));
}

void JpegWorksheet::closeEvent(QCloseEvent* event) {
    Save();
    QWidget::closeEvent(event);
}

void JpegWorksheet::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        const QFont fixed = ZoomedFixedFont();
        for (QWidget* shown : findChildren<QWidget*>()) {
            if (qobject_cast<NumberGrid*>(shown) != nullptr ||
                qobject_cast<LiveText*>(shown) != nullptr ||
                qobject_cast<TextLines*>(shown) != nullptr) {
                shown->setFont(fixed);
            }
        }
    }
}

void JpegWorksheet::ChooseQuality(int quality) {
    // The spin box and the slider show the same quality.
    quality_->setValue(quality);
    qualitySlider_->setValue(quality);
    if (!standardTable_->isChecked()) {
        standardTable_->setChecked(true); // announces itself and comes back here
        return;
    }
    settings_.Table = jpeg::StandardTable(settings_.Component, quality);
    Recompute();
}

void JpegWorksheet::ChooseComponent() {
    settings_.Component = kComponents.at(static_cast<std::size_t>(component_->currentIndex()));
    if (standardTable_->isChecked()) {
        settings_.Table = jpeg::StandardTable(settings_.Component, quality_->value());
    }
    Recompute();
}

void JpegWorksheet::ShowTableCaption() {
    // One line, so that the row of grids is no taller; a table file's whole
    // path is in the tooltip.
    SetText(tableCaption_, standardTable_->isChecked()
                               ? (settings_.Component == jpeg::HuffmanClass::Luminance
                                      ? tr("Q(u, v): standard luminance table, quality %1")
                                      : tr("Q(u, v): standard chrominance table, quality %1"))
                                     .arg(quality_->value())
                               : tr("Q(u, v) read from %1").arg(QFileInfo(tableFile_).fileName()));
    tableCaption_->setToolTip(standardTable_->isChecked() ? QString()
                                                          : QDir::toNativeSeparators(tableFile_));
}

void JpegWorksheet::LoadTable() {
    const std::optional<QString> chosen = desktop_.OpenFileName(
        this, tr("text, csv files|*.txt;*.csv|all files|*.*"),
        // A table taken from a JPEG file names no table file to propose.
        QFileInfo(tableFile_).isFile() ? tableFile_ : ProgramFolder() + QStringLiteral("/*.txt"));
    if (!chosen) {
        return;
    }
    const Result<jpeg::QuantTable> table = ReadTableFile(*chosen);
    if (!table) {
        desktop_.ShowWarning(
            this, tr("Load Table"),
            tr("The quantisation table\n%1\ncould not be loaded.\n\n%2\n\n"
               "The table was left as it was.")
                .arg(QDir::toNativeSeparators(*chosen), QString::fromStdString(table.Message())));
        return;
    }
    UseTable(*table, *chosen);
}

void JpegWorksheet::UseTable(const jpeg::QuantTable& table, const QString& origin) {
    fileTableValues_ = table;
    tableFile_ = origin;
    fileTable_->setEnabled(true);
    if (fileTable_->isChecked()) {
        settings_.Table = fileTableValues_;
        Recompute();
    } else {
        fileTable_->setChecked(true); // recomputes with the new table
    }
}

report::JpegSettings JpegWorksheet::ReportSettings() const {
    report::JpegSettings report;
    report.Table = settings_.Table;
    report.Quality = standardTable_->isChecked() ? quality_->value() : 0;
    report.TableFile = standardTable_->isChecked() ? std::string() : tableFile_.toStdString();
    report.PreviousDc = settings_.PreviousDc;
    report.Keep = settings_.Keep;
    report.Component = settings_.Component;
    return report;
}

void JpegWorksheet::CopyReport(report::Format format) {
    QApplication::clipboard()->setText(QString::fromStdString(
        report::Render(report::JpegReport(samples_, ReportSettings()), format)));
}

void JpegWorksheet::SendReconstruction() {
    document_.LoadSpaceBlock(jpeg::FromRowMajor(analysis_.Reconstruction));
}

void JpegWorksheet::Recompute() {
    samples_ = SamplesFromSpace(document_.Space(), adjusted_);
    jpeg::AnalyseBlock(samples_, settings_, analysis_);
    Show();
}

void JpegWorksheet::Show() {
    const jpeg::BlockAnalysis& a = analysis_;
    using G = Grid;
    GridOf(G::Pixels)->SetValues(AsValues(samples_));
    GridOf(G::Shifted)->SetValues(a.Shifted);
    GridOf(G::Coefficients)->SetValues(a.Coefficients);
    GridOf(G::Table)->SetValues(AsValues(settings_.Table));
    GridOf(G::Quantised)->SetValues(AsValues(a.Quantised));
    GridOf(G::Quantised)->SetZigZagPath(true, settings_.Keep);
    GridOf(G::Reconstruction)->SetValues(AsValues(a.Reconstruction));
    GridOf(G::Error)->SetValues(AsValues(a.Error.Error));
    GridOf(G::OriginalSquares)->SetValues(AsValues(samples_));
    GridOf(G::ReconstructionSquares)->SetValues(AsValues(a.Reconstruction));

    SetText(note_, adjusted_ ? tr("The space block holds values that are not grey levels; "
                                  "they are taken as its squares show them: rounded down "
                                  "and limited to 0 to 255.")
                             : QString());
    note_->setVisible(adjusted_);
    ShowTableCaption();
    const auto nonZero =
        std::count_if(a.Quantised.begin(), a.Quantised.end(), [](int index) { return index != 0; });
    nonZero_->SetText(tr("%1 of 64 indices are not zero.").arg(nonZero));
    zigzag_->SetText(ZigZagText(a.ZigZag));
    dcDifference_->SetText(tr("DC difference = %1 - (%2) = %3")
                               .arg(a.ZigZag[0])
                               .arg(settings_.PreviousDc)
                               .arg(a.DcDifference));
    symbols_->SetLines(SymbolLines(a.Symbols));
    totals_->SetText(tr("DC %1 bits + AC %2 bits = %3 bits for 64 pixels: %4 bits per pixel, "
                        "compression ratio %5 : 1 against 8 bits per pixel.")
                         .arg(a.Bits.Dc)
                         .arg(a.Bits.Ac)
                         .arg(a.Bits.Total)
                         .arg(a.Bits.BitsPerPixel, 0, 'f', 4)
                         .arg(a.Bits.CompressionRatio, 0, 'f', 2));
    SetText(keepLabel_, settings_.Keep == jpeg::kBlockCells
                            ? tr("k = 64: all coefficients kept")
                            : tr("k = %1: zig-zag positions %1 to 63 zeroed").arg(settings_.Keep));
    error_->SetText(
        a.Error.Lossless
            ? tr("MSE 0, PSNR infinite: the reconstruction equals the block.")
            : tr("MSE %1, PSNR %2 dB.").arg(a.Error.Mse, 0, 'f', 4).arg(a.Error.Psnr, 0, 'f', 2));
    const double quadrelDc = (a.Coefficients[0] + 1024.0) / 2.0;
    relation_->SetText(tr("F_Quadrel(0, 0) = (%1 + 1024) / 2 = %2")
                           .arg(a.Coefficients[0], 0, 'f', 3)
                           .arg(quadrelDc, 0, 'f', 3));
}

} // namespace quadrel::worksheet
