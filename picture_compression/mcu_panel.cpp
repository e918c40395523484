#include "picture_compression/mcu_panel.h"

#include "jpeg/engine_layout.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTabWidget>
#include <QTableWidget>
#include <QVBoxLayout>

#include <array>
#include <utility>

namespace quadrel {

namespace {

constexpr std::array<const char*, 3> kComponentNames = {"Y", "Cb", "Cr"};
constexpr int kShowRgb = 0;

QString ComponentName(std::size_t component) {
    return QString::fromLatin1(kComponentNames.at(component));
}

/// Where the encoder's padding stands: drawn apart from the picture's own values.
QBrush PaddingBrush() {
    return {QColor(200, 200, 200), Qt::BDiagPattern};
}

QTableWidget* GridTable(const char* name, int columns, int rows, QWidget* parent) {
    auto* table = new QTableWidget(rows, columns, parent);
    table->setObjectName(QLatin1String(name));
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    table->verticalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    return table;
}

/// Headers that count from the first column and row, as the places they stand for.
void NumberHeaders(QTableWidget* table, int firstColumn, int firstRow) {
    QStringList columns;
    for (int i = 0; i < table->columnCount(); ++i) {
        columns << QString::number(firstColumn + i);
    }
    QStringList rows;
    for (int i = 0; i < table->rowCount(); ++i) {
        rows << QString::number(firstRow + i);
    }
    table->setHorizontalHeaderLabels(columns);
    table->setVerticalHeaderLabels(rows);
}

QTableWidgetItem* Cell(const QString& text) {
    auto* item = new QTableWidgetItem(text);
    item->setTextAlignment(Qt::AlignCenter);
    return item;
}

QPlainTextEdit* TextBox(const char* name, const QString& text, QWidget* parent) {
    auto* box = new QPlainTextEdit(text, parent);
    box->setObjectName(QLatin1String(name));
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    return box;
}

/// "(120 + 121 + 119 + 122 + 1) / 4 = (482 + 1) / 4 = 120", from the core's sum
/// and rounding.
QString AverageText(const jpeg::SampleAverage& average) {
    QStringList terms;
    QStringList places;
    for (const jpeg::SampleTerm& term : average.Terms) {
        terms << QString::number(term.Value);
        places << QStringLiteral("(%1, %2)").arg(term.X).arg(term.Y);
    }
    return McuPanel::tr("(%1 + %2) / %3 = (%4 + %2) / %3 = %5, pixels %6")
        .arg(terms.join(QStringLiteral(" + ")))
        .arg(average.Rounding.Bias)
        .arg(average.Rounding.Divisor)
        .arg(average.Sum)
        .arg(average.Value)
        .arg(places.join(QLatin1Char(' ')));
}

QString SymbolText(const jpeg::Symbol& symbol) {
    const QString code =
        QString::fromStdString(jpeg::BitText(symbol.Code.Code, symbol.Code.Length));
    const QString bits = QString::fromStdString(jpeg::BitText(symbol.Bits, symbol.Size));
    switch (symbol.Kind) {
    case jpeg::SymbolKind::Dc:
        return McuPanel::tr("DC difference %1: size %2, code %3, bits %4 (%5 bits)")
            .arg(symbol.Amplitude)
            .arg(symbol.Size)
            .arg(code, bits)
            .arg(symbol.Length());
    case jpeg::SymbolKind::Ac:
        return McuPanel::tr("AC run %1 size %2 value %3: code %4, bits %5 (%6 bits)")
            .arg(symbol.Run)
            .arg(symbol.Size)
            .arg(symbol.Amplitude)
            .arg(code, bits)
            .arg(symbol.Length());
    case jpeg::SymbolKind::Zrl:
        return McuPanel::tr("ZRL (16 zeros): code %1 (%2 bits)").arg(code).arg(symbol.Length());
    case jpeg::SymbolKind::Eob:
        break;
    }
    return McuPanel::tr("EOB: code %1 (%2 bits)").arg(code).arg(symbol.Length());
}

QString SymbolsText(const jpeg::McuBlock& block) {
    QStringList lines;
    lines << McuPanel::tr("DC %1, predicted from the %2 block before: %3, difference %4")
                 .arg(block.Quantised[0])
                 .arg(ComponentName(block.Component))
                 .arg(block.Prediction)
                 .arg(block.DcDifference);
    for (const jpeg::Symbol& symbol : block.Symbols) {
        lines << SymbolText(symbol);
    }
    lines << McuPanel::tr("%1 bits with the %2 tables")
                 .arg(block.Bits)
                 .arg(block.Tables == jpeg::HuffmanClass::Luminance ? McuPanel::tr("luminance")
                                                                    : McuPanel::tr("chrominance"));
    return lines.join(QLatin1Char('\n'));
}

} // namespace

QString McuBlockName(const jpeg::McuBlock& block) {
    return block.Component == 0 ? QStringLiteral("Y%1").arg(block.Index)
                                : ComponentName(block.Component);
}

McuPanel::McuPanel(BlockDocument& document, QWidget* parent)
    : QWidget(parent, Qt::Tool), document_(document) {
    setObjectName(QStringLiteral("mcuPanel"));
    setWindowTitle(tr("MCU"));
    auto* layout = new QVBoxLayout(this);
    heading_ = new QLabel(this);
    heading_->setObjectName(QStringLiteral("mcuHeading"));
    heading_->setWordWrap(true);
    values_ = new QComboBox(this);
    values_->setObjectName(QStringLiteral("mcuPixelValues"));
    values_->addItems({tr("Pixels in R, G, B"), tr("Pixels in Y, Cb, Cr")});
    pixels_ = GridTable("mcuPixels", 0, 0, this);
    blocks_ = new QTabWidget(this);
    blocks_->setObjectName(QStringLiteral("mcuBlocks"));
    // The pixels and the blocks share the height as the user drags it; at
    // first the pixels get enough for half an MCU of 16 rows.
    auto* split = new QSplitter(Qt::Vertical, this);
    split->addWidget(pixels_);
    split->addWidget(blocks_);
    split->setChildrenCollapsible(false);
    split->setSizes({380, 520});
    layout->addWidget(heading_);
    layout->addWidget(values_);
    layout->addWidget(split, 1);
    connect(values_, &QComboBox::currentIndexChanged, this, &McuPanel::ShowPixels);
    resize(780, 980);
}

void McuPanel::ShowMcu(jpeg::McuDetail mcu) {
    mcu_ = std::move(mcu);
    QString heading = tr("MCU %1, %2: pixels (%3, %4) to (%5, %6).")
                          .arg(mcu_.Column)
                          .arg(mcu_.Row)
                          .arg(mcu_.X)
                          .arg(mcu_.Y)
                          .arg(mcu_.X + mcu_.Width - 1)
                          .arg(mcu_.Y + mcu_.Height - 1);
    if (mcu_.InsideWidth < mcu_.Width || mcu_.InsideHeight < mcu_.Height) {
        heading += QLatin1Char(' ') +
                   tr("Only %1 x %2 of its pixels lie inside the picture; beyond it (hatched) "
                      "the encoder repeats the picture's last column and row.")
                       .arg(mcu_.InsideWidth)
                       .arg(mcu_.InsideHeight);
    }
    heading_->setText(heading);
    ShowPixels();
    const int page = blocks_->currentIndex();
    while (blocks_->count() > 0) {
        QWidget* old = blocks_->widget(0);
        blocks_->removeTab(0);
        old->deleteLater();
    }
    for (std::size_t b = 0; b < mcu_.Blocks.size(); ++b) {
        blocks_->addTab(CreateBlockPage(b), McuBlockName(mcu_.Blocks[b]));
    }
    blocks_->setCurrentIndex(std::max(page, 0));
}

void McuPanel::ShowPixels() {
    const bool rgb = values_->currentIndex() == kShowRgb;
    pixels_->clearContents();
    pixels_->setColumnCount(mcu_.Width);
    pixels_->setRowCount(mcu_.Height);
    NumberHeaders(pixels_, mcu_.X, mcu_.Y);
    for (int y = 0; y < mcu_.Height; ++y) {
        for (int x = 0; x < mcu_.Width; ++x) {
            const jpeg::McuPixel& pixel =
                mcu_.Pixels[static_cast<std::size_t>(y) * static_cast<std::size_t>(mcu_.Width) +
                            static_cast<std::size_t>(x)];
            const std::array<std::uint8_t, 3>& shown = rgb ? pixel.Rgb : pixel.Ycc;
            auto* item =
                Cell(QStringLiteral("%1\n%2\n%3").arg(shown[0]).arg(shown[1]).arg(shown[2]));
            const QColor colour(pixel.Rgb[0], pixel.Rgb[1], pixel.Rgb[2]);
            item->setBackground(pixel.Outside ? PaddingBrush() : QBrush(colour));
            item->setForeground(pixel.Outside || colour.lightness() > 127 ? Qt::black : Qt::white);
            QString tip = tr("Pixel (%1, %2): R, G, B %3, %4, %5; Y, Cb, Cr %6, %7, %8")
                              .arg(mcu_.X + x)
                              .arg(mcu_.Y + y)
                              .arg(pixel.Rgb[0])
                              .arg(pixel.Rgb[1])
                              .arg(pixel.Rgb[2])
                              .arg(pixel.Ycc[0])
                              .arg(pixel.Ycc[1])
                              .arg(pixel.Ycc[2]);
            if (pixel.Outside) {
                tip += QLatin1Char('\n') + tr("Beyond the picture: the encoder repeats pixel "
                                              "(%1, %2)")
                                               .arg(pixel.SourceX)
                                               .arg(pixel.SourceY);
            }
            item->setToolTip(tip);
            pixels_->setItem(y, x, item);
        }
    }
}

QWidget* McuPanel::CreateBlockPage(std::size_t index) {
    const jpeg::McuBlock& block = mcu_.Blocks[index];
    const QString name = McuBlockName(block);
    auto* page = new QWidget(blocks_);
    page->setObjectName(QStringLiteral("mcuBlock") + name);
    auto* layout = new QVBoxLayout(page);
    auto* about = new QLabel(page);
    about->setWordWrap(true);
    about->setText(block.Padding
                       ? tr("%1 block %2, %3 lies beyond the picture's samples: the encoder codes "
                            "the DC of the block before and no AC, and takes no samples.")
                             .arg(ComponentName(block.Component))
                             .arg(block.BlockX)
                             .arg(block.BlockY)
                       : tr("%1 block %2, %3 (samples %4..%5 across, %6..%7 down).")
                             .arg(ComponentName(block.Component))
                             .arg(block.BlockX)
                             .arg(block.BlockY)
                             .arg(block.BlockX * 8)
                             .arg(block.BlockX * 8 + 7)
                             .arg(block.BlockY * 8)
                             .arg(block.BlockY * 8 + 7));
    layout->addWidget(about);
    auto* tables = new QHBoxLayout;
    QTableWidget* samples = GridTable("samples", 8, 8, page);
    QTableWidget* indices = GridTable("indices", 8, 8, page);
    NumberHeaders(samples, 0, 0);
    NumberHeaders(indices, 0, 0);
    QStringList averages;
    if (!block.Padding) {
        averages << tr("%1[row, column] of the block, from the converted pixels (x, y) of the "
                       "picture:")
                        .arg(ComponentName(block.Component));
    }
    for (int k = 0; k < kBlockCells; ++k) {
        const jpeg::SampleAverage& average = block.Averages[static_cast<std::size_t>(k)];
        const QString place =
            QStringLiteral("%1[%2,%3]").arg(ComponentName(block.Component)).arg(k / 8).arg(k % 8);
        indices->setItem(k / 8, k % 8,
                         Cell(QString::number(block.Quantised[static_cast<std::size_t>(k)])));
        if (block.Padding) {
            continue;
        }
        auto* item = Cell(QString::number(average.Value));
        QString line = average.Terms.size() > 1
                           ? place + QStringLiteral(" = ") + AverageText(average)
                           : tr("%1 = pixel (%2, %3)")
                                 .arg(place)
                                 .arg(average.Terms.front().X)
                                 .arg(average.Terms.front().Y);
        if (average.Outside) {
            item->setBackground(PaddingBrush());
            line +=
                QLatin1Char(' ') +
                (average.RepeatsRow
                     ? tr("[beyond the picture: repeats sampled row %1]").arg(average.SampledRow)
                     : tr("[beyond the picture: padding]"));
        }
        item->setToolTip(line);
        samples->setItem(k / 8, k % 8, item);
        averages << line;
    }
    tables->addWidget(samples);
    tables->addWidget(indices);
    layout->addLayout(tables);
    layout->addWidget(TextBox("averages", averages.join(QLatin1Char('\n')), page), 1);
    layout->addWidget(TextBox("symbols", SymbolsText(block), page), 1);
    auto* send = new QPushButton(tr("Send to main window"), page);
    send->setObjectName(QStringLiteral("sendBlock") + name);
    send->setEnabled(!block.Padding);
    send->setToolTip(block.Padding ? tr("A padding block has no samples.")
                                   : tr("The block's samples become the main window's pixels."));
    connect(send, &QPushButton::clicked, this, [this, index] { Send(index); });
    layout->addWidget(send);
    return page;
}

void McuPanel::Send(std::size_t index) {
    const jpeg::McuBlock& block = mcu_.Blocks.at(index);
    document_.LoadSpaceBlock(jpeg::FromRowMajor(block.Values()));
    emit BlockSent(tr("%1 block %2, %3 of MCU %4, %5 sent to the main window.")
                       .arg(ComponentName(block.Component))
                       .arg(block.BlockX)
                       .arg(block.BlockY)
                       .arg(mcu_.Column)
                       .arg(mcu_.Row));
}

} // namespace quadrel
