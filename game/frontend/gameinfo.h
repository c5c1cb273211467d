// The option bytes of the settings with their defaults. Options 0 and 5 to 9
// are kept and stored for their readers elsewhere.
#pragma once
#include <cstdint>

class GameInfo {
public:
    GameInfo() = default;
    virtual ~GameInfo() = default;

    uint8_t option0 = 1;
    uint8_t language = 0;        // language index of the text files
    uint8_t invertSteering = 0;  // the tilt steering is inverted
    uint8_t musicVolume = 170;   // sound group 0; 0 is off
    uint8_t effectsVolume = 170; // sound group 1; 0 is off
    uint8_t option5 = 0;
    uint8_t option6 = 1;
    uint8_t option7 = 1;
    uint8_t option8 = 40;
    uint8_t option9 = 0;
    uint8_t tutorialOffered = 0; // the tutorial question was asked once
    uint8_t sensitivity = 127;   // touch steering sensitivity, 0-255
    // Copies taken by Settings::SetBuffers, to undo changes on the options page.
    uint8_t savedMusicVolume = 170;
    uint8_t savedEffectsVolume = 170;
    uint8_t savedSensitivity = 127;
};
