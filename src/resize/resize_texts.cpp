#include "resize/resize_texts.h"

namespace reelwork::resize {

namespace {
QString U(const char *text) { return QString::fromUtf8(text); }
bool Russian(int language) { return language == 1; }
} // namespace

QString ChooserCaption(int language) { return Russian(language) ? U("Тип ресайза") : U("Resize Type"); }

QStringList ChooserItems(int language) {
  if (Russian(language))
    return {U("Авто"), U("Точно"), U("Вручную")};
  return {"Auto", "Exact", "Manual"};
}

QStringList ChooserExplanation(int language, int item) {
  if (Russian(language)) {
    switch (item) {
    case 0:
      return {U("   Ресайз в режиме \"авто\" рекомендуется применять, если вам точно известен исходный Aspect Ratio."),
              U("   Aspect Ratio может быть указан на обратной стороне коробки с фильмом в виде надписи \"4:3\", "
                "\"1.85:1\" и т.п."),
              U("   Кроме Aspect Ratio в этом режиме учитываются тип источника (PAL/NTSC) и величины кропинга."),
              U("   Вы сможете изменять выходной размер кадра X, а значение Y будет вычисляться при нажатии "
                "кнопки \"Вычисл. Y\".")};
    case 1:
      return {U("   Ресайз в режиме \"точно\" нужно использовать в случае, когда вы точно знаете какую пропорцию X "
                "к Y вы должны получить на выходе."),
              U("   Подразумевается соотношение X к Y для светлой части кадра в любых единицах измерения."),
              U("   Выходной Aspect Ratio можно измерить либо линейкой по экрану при воспроизведении фильма "
                "софтовым плеером, либо, захватив в плеере кадр, открыть его в графическом редакторе и "
                "определить размеры светлой части кадра в пикселах."),
              U("   Как и в режиме \"авто\" вы сможете изменять выходной размер кадра X, а значение Y будет "
                "вычисляться при нажатии кнопки \"Вычисл. Y\".")};
    case 2:
      return {U("   Ресайз в режиме \"вручную\" можно использовать для выбора произвольного выходного соотношения X "
                "к Y."),
              U("   Значения X и Y можно выбрать любые с точностью до пикселя, однако нужно помнить об "
                "ограничениях, накладываемых как Ависинком, так и воспроизведением в режиме оверлея."),
              U("   В частности, Ависинк может потребовать кратности выходного размера по X, равной 4, а по Y, "
                "равной 2. Иначе он сообщит вам об ошибке."),
              U("   Что качается дальнейшего корректного воспроизведения видео, преобразованного в формат MP4, то "
                "здесь рекомендуется придерживаться еще более строгих ограничений: кратность 32 по X и кратность "
                "16 по Y.")};
    default:
      return {};
    }
  }
  switch (item) {
  case 0:
    return {"   Use \"auto\" method, if you exactly know original Aspect Ratio.",
            "   You can find original Aspect Ratio on back side of the movie box as such string: \"4:3\", "
            "\"1.85:1\", etc.",
            "   During calculation, program uses Aspect Ratio value, video source type (PAL/NTSC) and croping "
            "values.",
            "   You can change output X size, then program will calculate Y size if you press \"Calc Y\"."};
  case 1:
    return {"   Use \"exact\" method, if you exactly know output X:Y proportion.",
            "   We mean X:Y proportion of the light part of the frame measured by any points - mm, sm, inch, etc.",
            "   You can measure output Aspect Ratio in two ways: by ruler across the screen during movie playing, "
            "or firstly capturing one frame and then open it in graphic editor and find sizes of the light part "
            "in pixels.",
            "   As in \"auto\" method, you can change output X size, then program will calculate Y size if you "
            "press \"Calc Y\"."};
  case 2:
    return {"   You can use \"manual\" method for manual choosing X and Y output values.",
            "   You can choose any values, but you must remember about limitations in Avisynth and in subsequent "
            "compatibility during playing MP4 via overlay.",
            "   In particular, Avisynth requires X size to be aliquot to 4 and Y size to be aliquot to 2.",
            "   And for subsequent compatibility during playing MP4 via overlay, this values must be increased to "
            "32 and 16."};
  default:
    return {};
  }
}

int ChooserItemFor(int type) { return type < 0 ? -1 : (type > 2 ? 2 : type); }

AutoTexts AutoResizeTexts(int language) {
  if (Russian(language))
    return {U("Авто-Ресайз"), U("Источник"),  U("Исходный аспект"), U("Юзер аспект"), U("Вых. размер"),
            U("Вых. аспект"), U("Юзер"),      U("Ошибка, %"),       U("Вычисл. Y")};
  return {"Auto Resize", "Source Type",  "Input Aspect Ratio", "User Aspect", "Output Size",
          "Output Ratio", "User",         "Error, %",           "Calc Y  "};
}

ExactTexts ExactResizeTexts(int language) {
  if (Russian(language))
    return {U("Точный Ресайз"), U("Точный аспект X:Y"), U("Вых. размер"), U("Вых. аспект"), U("Ошибка, %"),
            U("Вычисл. Y")};
  return {"Exact Resize", "Exact Aspect Ratio", "Output Size", "Output Ratio", "Error, %", "Calc Y  "};
}

ManualTexts ManualResizeTexts(int language) {
  if (Russian(language))
    return {U("Ресайз Вручную"), U("Вых. размер"), U("Вых. аспект")};
  return {"Manual Resize", "Output Size", "Output Ratio"};
}

QString PreviewScrollNote(int language) {
  return language == 0 ? QString("The picture is larger than the screen: scroll to see all of it.")
                       : QString::fromUtf8("Картинка больше экрана: прокрутите, чтобы увидеть её целиком.");
}

} // namespace reelwork::resize
