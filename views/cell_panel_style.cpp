#include "views/cell_panel_style.h"

#include <QPaintDevice>
#include <QPainter>
#include <QStyleOption>

#include <algorithm>

namespace quadrel {

namespace {

CellPanelStyle::Key PanelKey(const QStyleOption& option, qreal ratio) {
    CellPanelStyle::Key key;
    key.Size = option.rect.size();
    key.Ratio = ratio;
    key.State = static_cast<uint>(option.state);
    key.Direction = static_cast<int>(option.direction);
    if (const auto* frame = qstyleoption_cast<const QStyleOptionFrame*>(&option)) {
        key.Frame = {frame->lineWidth, frame->midLineWidth, static_cast<int>(frame->features), 0};
    }
    const QPalette& p = option.palette;
    key.Frame[3] = static_cast<int>(p.currentColorGroup());
    std::size_t i = 0;
    for (const QPalette::ColorRole role :
         {QPalette::Base, QPalette::Window, QPalette::Highlight, QPalette::Light, QPalette::Dark,
          QPalette::Mid, QPalette::Shadow, QPalette::Button}) {
        key.Colours.at(i++) = p.color(role).rgba();
    }
    return key;
}

} // namespace

CellPanelStyle::CellPanelStyle(QObject* parent) {
    setParent(parent);
}

void CellPanelStyle::drawPrimitive(PrimitiveElement element, const QStyleOption* option,
                                   QPainter* painter, const QWidget* widget) const {
    // Only a panel drawn straight onto the widget is copied: under a transform
    // the style draws it itself.
    if (element != PE_PanelLineEdit || option == nullptr || option->rect.isEmpty() ||
        painter->device() == nullptr || !painter->transform().isIdentity()) {
        QProxyStyle::drawPrimitive(element, option, painter, widget);
        return;
    }
    const qreal ratio = painter->device()->devicePixelRatioF();
    const Key key = PanelKey(*option, ratio);
    auto found = std::find_if(panels_.begin(), panels_.end(),
                              [&key](const auto& panel) { return panel.first == key; });
    if (found == panels_.end()) {
        if (panels_.size() >= kMaxPanels) {
            panels_.clear();
        }
        QPixmap panel(option->rect.size() * ratio);
        panel.setDevicePixelRatio(ratio);
        panel.fill(Qt::transparent);
        {
            QPainter into(&panel);
            into.translate(-option->rect.topLeft());
            QProxyStyle::drawPrimitive(element, option, &into, widget);
        }
        panels_.emplace_back(key, panel);
        found = panels_.end() - 1;
    }
    painter->drawPixmap(option->rect.topLeft(), found->second);
}

} // namespace quadrel
