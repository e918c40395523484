#pragma once
// The main window "DCT": owns the block state, the two grids and every command.
// Arithmetic lives in the engine, drawing in the views; this class holds the
// controls and their handlers.

#include "bitmap_viewer/image_frame.h"
#include "engine/dct_engine.h"
#include "freq_entry/x_y_entry.h"
#include "main_window/read_me.h"
#include "views/block_host.h"
#include "views/block_views.h"
#include "views/common_dialog.h"

#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>

class QButtonGroup;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace quadrel {

class SquareGrid;

class DCT : public QWidget, public BlockHost {
    Q_OBJECT
public:
    explicit DCT(QWidget* parent = nullptr);
    ~DCT() override;

    // Block operations the other windows use.
    void ResetFreqSpace() override;
    void SetFreqValue(int u, int v, double val) override;
    void SetSpaceValue(int x, int y, double val) override;
    void IDCTandDraw() override;
    void DCTandDraw() override;
    void Refresh() override;
    void SetLabel2Caption(const QString& caption) override;

    // Event handlers, public so that tests can drive them as the toolkit does.
    void Command1_Click(int Index);
    void Command2_Click();
    void Command3_Click();
    void Option1_Click(int Index);
    void Text1_KeyPress(int Index, int KeyAscii);
    void Text1_Change(int Index);

    // Operations.
    void WriteFreq() { views_->WriteFreq(); }
    void WriteSpace() { views_->WriteSpace(); }
    void DrawSpace() { views_->DrawSpace(); }
    void AnalysePicture() { views_->AnalysePicture(); }
    void BuildPicture() { views_->BuildPicture(); }
    void CycleThroDCTPatterns() { views_->CycleThroDCTPatterns(); }
    void Quantise();
    void LoadPicture();
    /// True when a block was read and stored; false after a cancel or a failure,
    /// which leave the block as it was.
    bool LoadFile();
    void SaveBlock();

    /// Replaces the file dialog (tests answer it without a modal window).
    void SetCommonDialog(std::unique_ptr<CommonDialog> dialog);
    /// Where error messages go; by default a modal warning box.
    using MessageSink = std::function<void(const QString& title, const QString& text)>;
    void SetMessageSink(MessageSink sink) { messageSink_ = std::move(sink); }
    /// Makes the file dialog of each new bitmap viewer (tests script its answers).
    void SetImageFrameDialogFactory(std::function<std::unique_ptr<CommonDialog>()> factory);
    /// The open bitmap viewer, or nullptr.
    ImageFrame* ImageFrameWindow() const { return imageFrame_; }

    // Read access for tests and benchmarks.
    DctEngine& Engine() { return engine_; }
    ReadMe& ReadMeDocument() { return readMe_; }
    QLineEdit* Text1(int k) const { return text1_.at(static_cast<std::size_t>(k)); }
    SquareGrid* Shape1() const { return shape1_; }
    QPushButton* Command1(int index) const; ///< nullptr for the absent index 9
    QPushButton* Command2() const { return command2_; }
    QPushButton* Command3() const { return command3_; }
    QRadioButton* Option1(int index) const { return option1_.at(static_cast<std::size_t>(index)); }
    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    QLabel* Label3() const { return label3_; }
    /// The "Enter X Y Data" window while it exists, shown or hidden.
    X_Y_Entry* XYEntry() const { return xyEntry_; }
    const FreqChoice& Frequencies() const { return frequencies_; }
    /// True once QUIT was pressed: every running command unwinds at its next yield.
    bool Ending() const { return ending_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void Form_Load();
    void CreateControls();
    void SetTabOrder();
    bool YieldEvents();
    void EndProgram();
    void ShowXYEntry();
    void ShowMessage(const QString& title, const QString& text);
    void ShowImageFrame();

    DctEngine engine_;
    std::array<QLineEdit*, 64> text1_{};
    SquareGrid* shape1_ = nullptr;
    std::array<QPushButton*, 12> command1_{};
    QPushButton* command2_ = nullptr;
    QPushButton* command3_ = nullptr;
    std::array<QRadioButton*, 2> option1_{};
    QButtonGroup* optionGroup_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLabel* label3_ = nullptr;
    std::unique_ptr<CommonDialog> commonDialog1_;
    ReadMe readMe_{ProgramFolder(), ReadMe::NativeRoute(), ReadMe::SystemServices(this)};
    std::unique_ptr<BlockViews> views_;
    MessageSink messageSink_;
    FreqChoice frequencies_;
    QPointer<X_Y_Entry> xyEntry_;
    bool ending_ = false;
    QPointer<ImageFrame> imageFrame_;
    std::function<std::unique_ptr<CommonDialog>()> imageFrameDialogFactory_;
};

} // namespace quadrel
