# JUCE's modules arrive as INTERFACE targets whose sources would otherwise be
# compiled again into every executable. We compile each module exactly once,
# into two static libraries: the audio modules (all the core needs) and the
# GUI modules on top of them, so the core can never pull in windowing code.

set(TARNVALE_JUCE_DEFINITIONS
    JUCE_GLOBAL_MODULE_SETTINGS_INCLUDED=1
    JUCE_STANDALONE_APPLICATION=1
    JUCE_USE_CURL=0
    JUCE_WEB_BROWSER=0
    JUCE_USE_FLAC=0
    JUCE_USE_OGGVORBIS=0
    JUCE_USE_MP3AUDIOFORMAT=0
    JUCE_REPORT_APP_USAGE=0
    JUCE_DISPLAY_SPLASH_SCREEN=0
    JUCE_MODAL_LOOPS_PERMITTED=1
    JUCE_STRICT_REFCOUNTEDPOINTER=1
    JUCE_APPLICATION_NAME_STRING="${PROJECT_NAME}"
    JUCE_APPLICATION_VERSION_STRING="${PROJECT_VERSION}")

# Our own code is held to JUCE's recommended warnings.
add_library(tarnvale_warnings INTERFACE)
target_link_libraries(tarnvale_warnings INTERFACE juce::juce_recommended_warning_flags)

function(tarnvale_add_juce_library name)
    cmake_parse_arguments(ARG "" "" "MODULES;DEPENDS" ${ARGN})
    add_library(${name} STATIC)
    set_target_properties(${name} PROPERTIES POSITION_INDEPENDENT_CODE ON)
    foreach(module IN LISTS ARG_MODULES)
        get_target_property(sources juce::${module} INTERFACE_SOURCES)
        target_sources(${name} PRIVATE ${sources})
        get_target_property(links juce::${module} INTERFACE_LINK_LIBRARIES)
        foreach(link IN LISTS links)
            # Module-to-module links are satisfied by DEPENDS; keep system libraries.
            if(link AND NOT link MATCHES "^(juce::)?juce_")
                target_link_libraries(${name} PUBLIC ${link})
            endif()
        endforeach()
        target_compile_definitions(${name} PUBLIC JUCE_MODULE_AVAILABLE_${module}=1)
    endforeach()
    target_include_directories(${name} PUBLIC ${JUCE_MODULES_DIR})
    target_compile_definitions(${name} PUBLIC ${TARNVALE_JUCE_DEFINITIONS} LINUX=1
        $<$<CONFIG:Debug>:DEBUG=1 _DEBUG=1>
        $<$<NOT:$<CONFIG:Debug>>:NDEBUG=1>)
    target_compile_features(${name} PUBLIC cxx_std_17)
    target_link_libraries(${name} PUBLIC ${ARG_DEPENDS} juce::juce_recommended_config_flags)
    # GCC 12 reports false dangling pointers inside juce_ListenerList.h.
    target_compile_options(${name} PRIVATE -w)
endfunction()

tarnvale_add_juce_library(juce_audio_core
    MODULES juce_core juce_audio_basics juce_audio_formats juce_dsp)
target_link_libraries(juce_audio_core PUBLIC Threads::Threads ${CMAKE_DL_LIBS})

tarnvale_add_juce_library(juce_gui
    MODULES juce_events juce_data_structures juce_graphics juce_gui_basics
    DEPENDS juce_audio_core)
if(TARGET juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
    target_link_libraries(juce_gui PUBLIC juce::pkgconfig_JUCE_IMG_LINUX_DEPS)
endif()
