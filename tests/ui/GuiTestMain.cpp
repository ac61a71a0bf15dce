#include <juce_gui_basics/juce_gui_basics.h>

#include <gtest/gtest.h>

namespace
{
// With no window manager, X reports harmless errors that JUCE forgives only
// when an application object is registered.
class TestApplication : public juce::JUCEApplicationBase
{
public:
    const juce::String getApplicationName() override { return "TarnvaleTests"; }
    const juce::String getApplicationVersion() override { return "0"; }
    bool moreThanOneInstanceAllowed() override { return true; }
    void initialise(const juce::String&) override {}
    void shutdown() override {}
    void anotherInstanceStarted(const juce::String&) override {}
    void systemRequestedQuit() override {}
    void suspended() override {}
    void resumed() override {}
    void unhandledException(const std::exception*, const juce::String&, int) override {}
};

juce::JUCEApplicationBase* createTestApplication()
{
    return new TestApplication();
}
} // namespace

int main(int argc, char** argv)
{
    juce::JUCEApplicationBase::createInstance = &createTestApplication;
    ::testing::InitGoogleTest(&argc, argv);
    const juce::ScopedJuceInitialiser_GUI juce;
    return RUN_ALL_TESTS();
}
