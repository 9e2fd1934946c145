// Sound and movie files written byte by byte, so that tests need no binary fixtures: a PCM WAV
// of a given length and an MP4 whose movie header ('mvhd') gives its duration.
#pragma once

#include <cstdint>
#include <string>

namespace media_files {

inline void put32le(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}
inline void put16le(std::string& s, uint16_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8);
}
inline void put32be(std::string& s, uint32_t v) {
    for (int i = 3; i >= 0; --i)
        s += static_cast<char>((v >> (8 * i)) & 0xFF);
}

// 8-bit mono PCM at 8000 samples a second: `seconds` long, silence.
inline std::string wav(double seconds) {
    const uint32_t rate = 8000;
    auto samples = static_cast<uint32_t>(seconds * rate);
    std::string s = "RIFF";
    put32le(s, 36 + samples + (samples & 1));
    s += "WAVEfmt ";
    put32le(s, 16);
    put16le(s, 1);     // PCM
    put16le(s, 1);     // mono
    put32le(s, rate);  // sample rate
    put32le(s, rate);  // byte rate
    put16le(s, 1);     // block align
    put16le(s, 8);     // bits per sample
    s += "data";
    put32le(s, samples);
    s.append(samples, '\x80');
    if (samples & 1) s += '\0';
    return s;
}

inline std::string box(const char* type, const std::string& body) {
    std::string s;
    put32be(s, static_cast<uint32_t>(8 + body.size()));
    s += type;
    return s + body;
}

// 'ftyp', 'moov' with a version 0 'mvhd' (timescale 600), and an 'mdat' of filler.
inline std::string mp4(double seconds) {
    std::string ftyp = box("ftyp", std::string("isom") + std::string("\0\0\2\0", 4) + "isommp41");
    std::string mvhd(4, '\0');  // version 0, no flags
    put32be(mvhd, 0);           // created
    put32be(mvhd, 0);           // modified
    put32be(mvhd, 600);         // timescale
    put32be(mvhd, static_cast<uint32_t>(seconds * 600));
    put32be(mvhd, 0x00010000);       // rate 1.0
    mvhd += std::string("\1\0", 2);  // volume 1.0
    mvhd += std::string(10, '\0');   // reserved
    for (uint32_t m : {0x10000u, 0u, 0u, 0u, 0x10000u, 0u, 0u, 0u, 0x40000000u})
        put32be(mvhd, m);
    mvhd += std::string(24, '\0');  // pre-defined
    put32be(mvhd, 2);               // next track
    std::string moov = box("moov", box("mvhd", mvhd));
    return ftyp + moov + box("mdat", std::string(256, '\x11'));
}

}  // namespace media_files
