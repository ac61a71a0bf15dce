#include "GuiTestSupport.h"

namespace testgui
{
bool pumpUntil(const std::function<bool()>& done, int timeoutMs)
{
    const auto deadline = juce::Time::getMillisecondCounter() + static_cast<juce::uint32>(timeoutMs);
    while (!done())
    {
        if (juce::Time::getMillisecondCounter() > deadline)
            return done();
        juce::MessageManager::getInstance()->runDispatchLoopUntil(10);
    }
    return true;
}

void pumpFor(int milliseconds)
{
    juce::MessageManager::getInstance()->runDispatchLoopUntil(milliseconds);
}

juce::File saveSnapshot(const juce::Image& image, const juce::String& name)
{
    const juce::File folder(TARNVALE_SNAPSHOT_DIR);
    folder.createDirectory();
    auto file = folder.getChildFile(name + ".png");
    file.deleteFile();
    juce::FileOutputStream out(file);
    juce::PNGImageFormat().writeImageToStream(image, out);
    return file;
}

juce::Colour colourAt(const juce::Image& image, juce::Point<int> point)
{
    return image.getPixelAt(point.x, point.y);
}
} // namespace testgui
