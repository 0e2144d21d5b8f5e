// The motif catalogue: one TMotives entry per picture of the motif folder, holding
// the picture and its faded reflection, and mirrorImage that makes reflections.
// Entries far from the carousel's middle give their pictures up and keep only the
// bytes of their file (motif_residency.h).
#pragma once
#include <cstdint>
#include <string>

#include "game/motif_pictures.h"
#include "platform/object.h"

struct TImage;
struct TPixmap;

struct TMotives : TObject {
  Ref<TObject> link;  // never set
  uint16_t ID = 0;
  std::u16string Filename;
  Ref<TImage> Motiv;
  Ref<TImage> Mirror;
  float Motivwidth = 0, Motivheight = 0;
  float widthfaktor = 0, heightfaktor = 0;
  // The file as read at start-up, never changed: Motiv and Mirror are made from it
  // again when the entry comes near the carousel's middle. Null: they stay for good.
  TMotifBytes _bytes;
  bool _asked = false;  // its pictures are being made on the workers

  // Fills the entry in M from the file Filename of the current directory (decoded
  // by content; `decoded` saves a second read when the caller has it already).
  // Returns null. M keeps null images when the file does not decode.
  static Ref<TMotives> AddMotiv(uint16_t ID, const std::u16string& Filename,
                                const Ref<TPixmap>& decoded = nullptr);
  // Motiv and ID of the entry in M.
  static Ref<TImage> getImage();
  static uint16_t getID();
};

// Gives the entry its Motiv and Mirror from pictures made by MotifPictures, and
// the sizes and factors that follow from them. Main thread.
void SetMotifPictures(TMotives& entry, const TMotifPictures& pictures);

// A new image: the picture's lowest seventh (the whole picture when it is at most
// 100 pixels high) flipped upside down, its alpha fading from 80 to about 1;
// transparent pixels stay transparent. The argument is not changed. Tall pictures
// pass through the back buffer, which is cleared afterwards.
Ref<TImage> mirrorImage(const Ref<TImage>& image);

// Builds MotivesList and CountMotives from the folder, decoding on the motif
// workers in folder order. Pictures that do not load get no entry, and IDs count
// only the entries made. Afterwards the entries near motif 0 hold their pictures.
void BuildMotiveCatalogue(const std::u16string& folder);
