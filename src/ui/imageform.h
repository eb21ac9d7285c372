#pragma once

// The full-screen image viewer: one image until any key or click, or a slide
// show over the stored bodies of a list of URLs, stepped by keys, clicks or
// an interval.

#include <cstdint>
#include <string>
#include <vector>

#include <QDialog>

class QLabel;
class QTimer;

namespace qv {

class TTvImagePanel;

class TImageFrm : public QDialog {
  Q_OBJECT
 public:
  explicit TImageFrm(QWidget* parent = nullptr);
  ~TImageFrm() override;

  QLabel* PausedTxt = nullptr;
  TTvImagePanel* Image = nullptr;
  QTimer* Timer1 = nullptr;  // 100 ms, drives the interval

  std::string WebDir;              // local mirror directory
  std::vector<std::string> URLs;   // the main list's lines
  bool SingleImage = false;        // ShowImage's mode: no URLs
  std::vector<std::string> Files;  // the current URL's files
  std::int32_t Interval = 0;       // seconds; 0 = no automatic advance
  std::int32_t FileIndex = -1;
  std::int32_t URLIndex = -1;
  std::int32_t TickCount = 0;

  // A modal slide show over the stored bodies of urls under webDir from
  // startIndex on (-1, no line, ends at once), advancing every `interval`
  // seconds (0: only by keys and clicks).
  void StartSlideShow(const std::string& webDir, std::vector<std::string> urls,
                      std::int32_t interval, std::int32_t startIndex);
  // One image full-screen, modal, until any key or click.
  void ShowImage(const std::string& path);

  // The set-up of the two above without the modal loop; BeginSlideShow is
  // false when the show ended at once.
  bool BeginSlideShow(const std::string& webDir, std::vector<std::string> urls,
                      std::int32_t interval, std::int32_t startIndex);
  void BeginShowImage(const std::string& path);

  // Moves to the next (or previous) existing image file, across URLs; past
  // either end of the list the viewer closes. Lets messages run every 100
  // URLs of a long run without images.
  void Step(bool back);
  // Files = the regular files of the current URL's storage folder that carry
  // its body's extension, "Head.txt" left out; FileIndex at the last one
  // when going back, else at the first.
  void LoadURLFiles(bool back);
  // Sizes the panel to the image within the screen and centres it.
  void PlaceImage();

  void FormKeyDown(int key);
  void Timer1Timer();
  void ImageFrmMouseDown(Qt::MouseButton button);

  // The viewer was closed since the last showing began.
  bool Closed() const { return Closing; }

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;

 private:
  void CloseViewer();
  QSize ScreenSize() const;

  bool Closing = false;
  bool Stepping = false;
  bool CloseAsked = false;  // Esc while a step lets messages run
};

}  // namespace qv
