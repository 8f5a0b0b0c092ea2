#include "client/ui/views/CAppGridPage.h"

#include <QEvent>
#include <QPainter>
#include <QProgressBar>
#include <QScrollArea>
#include <QScrollBar>

#include "client/ui/views/COrvAppButton.h"
#include "client/ui/views/TileLook.h"
#include "controls/CXTabCtrl.h"
#include "controls/DialogUnits.h"

using namespace tile_look;

namespace {

int TabHeight() { return DialogUnits::ForDialogFont().Y(kTabHeightDlu); }

}  // namespace

CAppGridPage::CAppGridPage(IKivoHost& host, QWidget* parent) : QWidget(parent), m_host(host) {
  m_tabs = new CXTabCtrl(this, kTabControlId);
  m_tabs->AddTab(QString::fromUtf8(kDesktopTab));
  m_tabs->AddTab(QString::fromUtf8(kWebTab));
  m_tabs->Select(1);
  XTabColorScheme scheme;
  scheme.background = 0x928979;
  scheme.text = 0xFFFFFF;
  scheme.normal.fill = 0x928979;
  scheme.normal.text = 0xFFFFFF;
  scheme.hot.fill = 0xDBD2C4;
  scheme.hot.text = 0;
  scheme.selected.fill = 0xDBD2C4;
  scheme.selected.text = 0;
  m_tabs->SetColorScheme(scheme);
  m_tabs->SetItemWidth(kTabItemWidth);
  QFont font(QString::fromUtf8(kTabFont));
  font.setPixelSize(kTabFontHeight);
  font.setWeight(QFont::Normal);
  m_tabs->setFont(font);
  m_tabs->setAccessibleName(QStringLiteral("应用分类"));
  connect(m_tabs, &CXTabCtrl::tabMessage, this, [this](int message, int index) {
    if (message == CXTabCtrl::kSelectMessage) ChooseTab(index);
  });

  m_scroll = new QScrollArea(this);
  m_scroll->setFrameShape(QFrame::NoFrame);
  m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
  m_scroll->setWidgetResizable(false);
  m_scroll->viewport()->setAutoFillBackground(false);
  m_scroll->setAutoFillBackground(false);
  // The tiles take the keyboard and the area scrolls to the focused one; the area itself is
  // no stop of its own.
  m_scroll->setFocusPolicy(Qt::NoFocus);
  m_scroll->setAccessibleName(QStringLiteral("应用列表"));
  m_grid = new QWidget;
  m_scroll->setWidget(m_grid);
  // setWidget turns the grid's background filling on: the page colour must show through.
  m_grid->setAutoFillBackground(false);
  connect(m_scroll->verticalScrollBar(), &QScrollBar::valueChanged, this,
          [this] { UpdateLiveTiles(); });
  // The busy cue: a thin bar moving at the tab strip's right end while a list is requested.
  m_busy = new QProgressBar(this);
  m_busy->setRange(0, 0);
  m_busy->setTextVisible(false);
  m_busy->setAccessibleName(QStringLiteral("正在加载"));
  m_busy->hide();
  resize(846, 435);
  Layout();
}

CAppGridPage::~CAppGridPage() = default;

void CAppGridPage::ChooseTab(int index) {
  m_tabs->Select(index);
  m_web = index != 0;
  RebuildButtons();
}

void CAppGridPage::ShowProgress(const std::string& url, int percent) {
  if (percent > 1 && percent < 99)
    m_progress[url] = percent;
  else
    m_progress.erase(url);
  for (COrvAppButton* tile : m_desktop) tile->SetProgress(url, percent);
}

QPoint CAppGridPage::CellPosition(int index) {
  return QPoint(kGridLeft + kGridPitch * (index % kGridColumns),
                kGridTop + kGridPitch * (index / kGridColumns));
}

void CAppGridPage::Destroy(std::vector<COrvAppButton*>& tiles) {
  // A tile may be the one whose click led here: it goes once control is back in the loop.
  for (COrvAppButton* tile : tiles) {
    tile->hide();
    tile->deleteLater();
  }
  tiles.clear();
}

std::vector<COrvAppButton*>& CAppGridPage::BeginRebuild() {
  const int shown = m_web ? 1 : 0;
  for (COrvAppButton* tile : m_web ? m_desktop : m_web_tiles) tile->hide();
  std::vector<COrvAppButton*>& list = m_web ? m_web_tiles : m_desktop;
  Destroy(list);
  Destroy(m_spare[shown]);
  m_records[shown].clear();
  m_first[shown] = 0;
  m_scroll->verticalScrollBar()->setValue(0);
  return list;
}

bool CAppGridPage::Busy() const { return !m_busy->isHidden(); }

void CAppGridPage::Await(AppListKind kind) {
  const int index = static_cast<int>(kind);
  const long long request = ++m_lastRequest;
  // Marked before asking: a host may answer before RequestList returns.
  m_pending[index] = request;
  const bool pending =
      m_host.RequestList(kind, this, [this, index, request](const RequestResult&, const AppList&) {
        if (m_pending[index] != request) return;
        m_pending[index] = 0;
        m_busy->setVisible(m_pending != decltype(m_pending){});
        ShowHeld();
      });
  if (!pending && m_pending[index] == request) m_pending[index] = 0;
  m_busy->setVisible(m_pending != decltype(m_pending){});
}

void CAppGridPage::FillGrid(const std::vector<AppRecord>& records, const TileMaker& make,
                            const TileBinder& bind) {
  m_filling = true;
  BeginRebuild();
  const int shown = m_web ? 1 : 0;
  m_records[shown] = records;
  m_make[shown] = make;
  m_bind[shown] = bind;
  setUpdatesEnabled(false);
  FinishGrid(static_cast<int>(records.size()));
  m_filling = false;
  UpdateLiveTiles();
  setUpdatesEnabled(true);
}

void CAppGridPage::Bind(int list, COrvAppButton& tile, size_t index) {
  m_bind[list](tile, m_records[list][index]);
  if (list == 0 && !m_progress.empty()) {
    const auto it = m_progress.find(m_records[list][index]->downurl);
    if (it != m_progress.end()) tile.SetProgress(it->first, it->second);
  }
}

void CAppGridPage::UpdateLiveTiles() {
  if (m_filling) return;
  const int shown = m_web ? 1 : 0;
  std::vector<COrvAppButton*>& tiles = m_web ? m_web_tiles : m_desktop;
  const std::vector<AppRecord>& records = m_records[shown];
  // Rows whose cells reach into the viewport, in page coordinates, and one more each side.
  const int top = m_scroll->verticalScrollBar()->value() + m_scroll->y();
  // The scroll area's own height: its viewport is sized only once the page is shown.
  const int bottom = top + m_scroll->height();
  const int rows = static_cast<int>((records.size() + kGridColumns - 1) / kGridColumns);
  const int firstRow = std::max(0, (top - kGridTop - kTileHeight) / kGridPitch);
  const int lastRow = std::min(rows - 1, std::max(0, bottom - kGridTop) / kGridPitch + 1);
  const size_t begin = std::min(records.size(), static_cast<size_t>(firstRow) * kGridColumns);
  const size_t end = std::min(records.size(), static_cast<size_t>(lastRow + 1) * kGridColumns);

  // Tiles whose records stay in view keep them; the others are bound again.
  const size_t oldBegin = m_first[shown], oldEnd = oldBegin + tiles.size();
  if (begin == oldBegin && end == oldEnd) return;
  std::vector<COrvAppButton*> live(end > begin ? end - begin : 0, nullptr);
  for (size_t i = oldBegin; i < oldEnd; ++i) {
    COrvAppButton* tile = tiles[i - oldBegin];
    if (i >= begin && i < end) {
      live[i - begin] = tile;
    } else {
      tile->hide();
      m_spare[shown].push_back(tile);
    }
  }
  for (size_t i = begin; i < end; ++i) {
    COrvAppButton*& tile = live[i - begin];
    if (tile) continue;
    if (!m_spare[shown].empty()) {
      tile = m_spare[shown].back();
      m_spare[shown].pop_back();
    } else {
      tile = m_make[shown](m_grid);
      tile->installEventFilter(this);
      connect(tile, &COrvAppButton::actionRequested, this, &CAppGridPage::actionRequested);
    }
    Bind(shown, *tile, i);
    Place(*tile, static_cast<int>(i));
  }
  tiles = std::move(live);
  m_first[shown] = begin;
  // Tab walks the tiles in grid order.
  for (size_t i = 1; i < tiles.size(); ++i) QWidget::setTabOrder(tiles[i - 1], tiles[i]);
}

bool CAppGridPage::eventFilter(QObject* watched, QEvent* event) {
  if (event->type() == QEvent::FocusIn) {
    if (auto* tile = qobject_cast<COrvAppButton*>(watched); tile && tile->isVisible())
      m_scroll->ensureWidgetVisible(tile, 0, 0);
  }
  return QWidget::eventFilter(watched, event);
}

void CAppGridPage::Place(COrvAppButton& tile, int index) {
  // The grid widget starts where the scroll area does; cells keep their page positions.
  const QPoint cell = CellPosition(index) - m_scroll->geometry().topLeft();
  tile.setGeometry(QRect(cell, QSize(kTileWidth, kTileHeight)));
  tile.show();
}

void CAppGridPage::FinishGrid(int count) {
  const int rows = (count + kGridColumns - 1) / kGridColumns;
  const int bottom = rows == 0 ? 0 : CellPosition((rows - 1) * kGridColumns).y() + kTileHeight;
  const int height = std::max(bottom + kGridBottomMargin - m_scroll->y(), 0);
  // Narrower than the scroll area by its scroll bar, so showing the bar never needs a
  // horizontal one.
  const int barWidth = m_scroll->verticalScrollBar()->sizeHint().width();
  m_grid->resize(std::max(m_scroll->width() - barWidth, 0), height);
}

COrvAppButton* CAppGridPage::FindTileByKey(
    const std::string& key, const std::function<void(COrvAppButton&, bool web)>& visit) {
  for (bool web : {true, false}) {
    for (COrvAppButton* tile : web ? m_web_tiles : m_desktop) {
      if (visit) visit(*tile, web);
      if (tile->Key() == key) return tile;
    }
  }
  return nullptr;
}

void CAppGridPage::RedrawTile(COrvAppButton& tile) {
  // The tile may belong to the hidden tab: it is redrawn, never shown from here.
  tile.ReapplyAppInfo();
  tile.update();
}

void CAppGridPage::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.fillRect(rect(), QColor::fromRgba(kPageBackground));
}

void CAppGridPage::resizeEvent(QResizeEvent*) { Layout(); }

void CAppGridPage::Layout() {
  const int tabHeight = TabHeight();
  m_tabs->setGeometry(0, 0, width(), tabHeight);
  m_scroll->setGeometry(0, tabHeight, width(), std::max(height() - tabHeight, 0));
  m_busy->setGeometry(width() - 110, (tabHeight - 6) / 2, 100, 6);
  FinishGrid(static_cast<int>(m_records[m_web ? 1 : 0].size()));
  for (int list : {0, 1}) {
    const std::vector<COrvAppButton*>& tiles = list ? m_web_tiles : m_desktop;
    for (size_t i = 0; i < tiles.size(); ++i)
      tiles[i]->move(CellPosition(static_cast<int>(m_first[list] + i)) -
                     m_scroll->geometry().topLeft());
  }
  UpdateLiveTiles();
}
