// The About box: the product line, the build number and the maker, with
// the music module carried by the program playing for as long as it is
// open. The music stops before the box finishes closing, however it closes.
#pragma once

#include <QDialog>

class QCloseEvent;
class QKeyEvent;
class QShowEvent;

namespace kestrane::ui {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
    ~AboutDialog() override;

    // Ends the box with result 0 after stopping the music.
    void done(int result) override;

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void StopMusic();

    bool musicStarted_ = false;
};

// Opens the About box modally over `parent` and returns once it is closed
// and its music has stopped.
void ShowAboutBox(QWidget* parent);

}  // namespace kestrane::ui
