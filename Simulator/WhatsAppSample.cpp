// A believable account for the simulated WhatsApp: thirty chats and a family group's
// conversation with text, photos, a video and day separators.

#include "WhatsAppModel.hpp"

#include <string>

namespace velvix::sim {

WhatsAppState WhatsAppState::sample() {
  WhatsAppState s;
  const char* names[] = {
      "Family",           "Ana Souza",     "Tom Becker",     "Book club",    "Priya Nair",
      "Lukas Meyer",      "Climbing crew", "Mia Rossi",      "Dr. Okafor",   "Jonas Weber",
      "Sofia Lindqvist",  "Flat 3B",       "Kenji Watanabe", "Grandma",      "Léa Martin",
      "Omar Haddad",      "Work: launch",  "Elif Yılmaz",    "Noah Fischer", "Chloé Dubois",
      "Running Sundays",  "Ivan Petrov",   "Zoe Clarke",     "Hugo Silva",   "Amira Saleh",
      "Parents' evening", "Ben Carter",    "Ines García",    "Yuki Sato",    "Garden swap"};
  const char* previews[] = {"Mum: Dinner at 7, bring the salad",
                            "See you at the station!",
                            "Can you send me the contract draft?",
                            "Chapter 12 was wild",
                            "The scan results came back fine",
                            "I'll transfer the rent tomorrow",
                            "Saturday 9:00 at the wall?",
                            "Photo",
                            "Please confirm your appointment",
                            "haha yes exactly",
                            "Tack för igår!",
                            "Who took my oat milk",
                            "Meeting moved to Thursday",
                            "Call me when you can, love",
                            "Merci pour le cadeau",
                            "The keys are under the mat",
                            "Release notes are in the doc",
                            "Yarın görüşürüz",
                            "Did you see the game?",
                            "On arrive dans 10 min",
                            "Route for Sunday: 12 km",
                            "Password is on the fridge",
                            "Happy birthday!!",
                            "Voice message",
                            "I miss you",
                            "Permission slip due Friday",
                            "Lunch?",
                            "¿Vienes mañana?",
                            "Arigato, see you soon",
                            "Tomatoes for basil?"};
  for (int i = 0; i < 30; ++i) {
    WhatsAppChat chat{.name = names[i], .preview = previews[i]};
    chat.time = i < 4 ? "1" + std::to_string(i) + ":2" + std::to_string(i) : "Yesterday";
    chat.previewIsPhoto = i == 7 || i == 16;
    chat.unread = i % 5 == 1 ? i % 4 + 1 : 0;
    s.chats.push_back(chat);
  }
  WhatsAppConversation c{.title = "Family", .subtitle = "Mum, Dad, Lena, You"};
  using K = WhatsAppMessage::Kind;
  const struct {
    K kind;
    const char* text;
    bool out;
    const char* sender;
    const char* time;
    const char* day;
  } script[] = {
      {K::text, "Has anyone booked the restaurant for Sunday?", false, "Dad", "18:02", "Friday"},
      {K::text, "Not yet, I can call them tomorrow morning", true, "", "18:05", ""},
      {K::text, "Ask for the table by the window, Grandma likes it", false, "Mum", "18:06", ""},
      {K::photo, "The view from the hotel", false, "Lena", "19:40", ""},
      {K::text, "Wow! Is that the lake?", true, "", "19:42", ""},
      {K::text, "Yes, we walked around it this afternoon. 14 km!", false, "Lena", "19:45", ""},
      {K::text, "Booked for 12:30, table for six", true, "", "09:12", "Yesterday"},
      {K::text, "Perfect, thank you", false, "Dad", "09:20", ""},
      {K::video, "Leo's first steps", false, "Lena", "11:03", ""},
      {K::text, "I'm crying, he's so big already", false, "Mum", "11:05", ""},
      {K::text, "Can't wait to see him on Sunday", true, "", "11:07", ""},
      {K::text, "Who brings dessert?", false, "Mum", "20:15", ""},
      {K::text, "I'll make the apple cake", true, "", "20:16", ""},
      {K::photo, "", false, "Dad", "08:31", "Today"},
      {K::text, "Fresh from the market, for the salad", false, "Dad", "08:31", ""},
      {K::text, "Dinner at 7, bring the salad", false, "Mum", "17:58", ""},
      {K::text, "On my way, 20 minutes", true, "", "18:40", ""},
  };
  for (const auto& line : script) {
    WhatsAppMessage m{.kind = line.kind,
                      .text = line.text,
                      .isOutgoing = line.out,
                      .sender = line.sender,
                      .time = line.time,
                      .daySeparator = line.day};
    if (m.isOutgoing) m.status = "Read";
    c.messages.push_back(m);
  }
  c.messages.back().status = "Delivered";
  s.conversation = c;
  s.composerText = "I'll bring the wine too";
  return s;
}

}  // namespace velvix::sim
