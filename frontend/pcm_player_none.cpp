// The player of a ruvo built without SDL2: -m on an image is refused.
#include "error.h"
#include "pcm_player.h"

int start_pcm(const std::vector<pcm_span>&) {
  return error("Sorry, CD Music cannot be played: this ruvo was built without sound output.\n");
}

void feed_pcm() {}

bool stop_pcm() { return true; }
