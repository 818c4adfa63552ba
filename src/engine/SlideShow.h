#pragma once
// The slide show's pacing over ViewList: which picture to fetch next, when an arrived picture
// may be shown (not before the pause after the previous one has run out), and what a stop
// leaves behind. A picture that arrives during the pause is held and shown when the pause
// ends, so no nested event loop waits for it. Fetching, showing and the pause timer are the
// window's, reached through Hooks.
#include <deque>
#include <functional>
#include <string>

#include "base/StringList.h"

namespace lumi {

class SlideShow {
public:
    struct Hooks {
        // Starts the transfer of address into the slideshow folder under name; its arrival
        // comes back through pictureArrived.
        std::function<void(const std::string& address, const std::string& name)> fetch;
        // Shows the picture file in the viewer (a failure is the viewer's to report).
        std::function<void(const std::string& file)> show;
        // Shows, in the picture's place, why a slide did not arrive.
        std::function<void(const std::string& reason)> showFailure;
        // Removes a picture file from the slideshow folder.
        std::function<void(const std::string& file)> remove;
        // The one-shot pause: running, start it, stop it. When it runs out the window
        // calls pauseOver.
        std::function<bool()> pausing;
        std::function<void()> startPause;
        std::function<void()> stopPause;
    };

    // viewList: the addresses still to show, owned by the window; it outlives this object.
    SlideShow(StringList& viewList, Hooks hooks);
    // Pictures still held are never shown: their files are removed.
    ~SlideShow();
    SlideShow(const SlideShow&) = delete;
    SlideShow& operator=(const SlideShow&) = delete;

    // StartSlideShow: clears the stop and fetches ViewList's first address.
    void StartSlideShow();
    // Escape: no further picture is fetched, the pause ends, pictures held for after it are
    // removed unseen, and one still in transfer is thrown away when it arrives.
    void Stop();
    // A slide's transfer completed into file (a full path in the slideshow folder).
    void pictureArrived(const std::string& file);
    // A slide's transfer failed: reason takes the picture's turn on screen and the show goes
    // on with the next address.
    void pictureFailed(const std::string& reason);
    // The pause ran out: a held picture is shown now.
    void pauseOver();

    bool SlideShowStopped = false;

private:
    // An arrived picture, or why one did not arrive.
    struct Slide {
        std::string file;
        std::string failure;
    };
    void arrived(Slide slide);
    void display(const Slide& slide);
    void fetchFirst();
    void removeHeld();

    StringList& viewList_;
    Hooks hooks_;
    // Pictures that arrived during the pause, oldest first (more than one only when a new
    // show starts while a picture of an earlier one is still on its way).
    std::deque<Slide> held_;
};

} // namespace lumi
