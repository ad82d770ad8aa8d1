#include "app/language.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>
#include <array>

namespace reelwork {

namespace {

struct MessageRowTexts {
  int row;
  const char *text[2];
};

// Rows 4, 5, 8, 9 and 10 belong to no operation and are left out.
const MessageRowTexts kMessages[] = {
    {1, {"AVS-file could not be read!", "Не могу прочитать AVS-файл!"}},
    {2, {"You must open AVS-script before do it!", "Сперва откройте AVS-файл!"}},
    {3, {"#    If no back-moves,", "#    если нет обратных движений,"}},
    {6, {"Interlaced frames not found!", "Интерлейсные фреймы не найдены!"}},
    {7, {"You must point to the center of circular area on the screen before!", "Сначала кликните мышкой в предполагаемый центр круглой области!"}},
    {11, {"Sorry, cannot find titles!", "Не могу найти титры!"}},
    {12, {"Warning! Usually, X1+X2 value must be aliquot to 4. Fix this?", "Внимание! Обычно, сумма X1+X2 должна быть кратна 4. Исправить ситуацию?"}},
    {13, {"Telecide without postpcocessing", "Telecide без постпроцессинга"}},
    {14, {"Telecide + postpcocessing", "Telecide + постпроцессинг"}},
    {15, {"It's quite enough for deinterlacing in ordinary cases with PAL-source.", "Бывает достаточно для устранения интерлейса в простейших случаях с PAL-источником."}},
    {16, {"Telecide is making postprocessing to improve deinterlacing, but it's require more time to do it.", "Telecide выполняет постпроцессинг для лучшего устранения интерлейса, однако кодирование при этом, по сравнению с предыдущим случаем, будет идти медленнее."}},
    {17, {"TomsMoComp - Motion Compensating Deinterlace Filter. Most quickest and quality filter for deinterlacing.", "TomsMoComp - Motion Compensating Deinterlace Filter. Самый быстрый и качественный для деинтерлейса."}},
    {18, {"Sometimes this combination makes deinterlace better, than each filter make it separately. You may try also \"post=2\".", "Иногда такая комбинация позволяет справиться с интерлейсом лучше, чем каждый фильтр по отдельности. Можно также попробовать поставить \"post=2\"."}},
    {19, {"In special cases, then 25 Fps PAL-source was obtained from 24 Fps, Telecide and TomsMoComp could make lags. On the other hand, FieldDeinterlace could make it much fluent, but with some \"ghosting\".", "В особо запущенных случаях, когда PAL-видео 25 Fps было получено из 24 Fps, Telecide и TomsMoComp дадут рывки, а FieldDeinterlace сделает поплавнее, но, увы, останется гостинг."}},
    {20, {"Classical NTSC case with Telecide, postprocessing and FPS conversion from 29,97 to 23.976, using Decimate(5).", "Классический случай устранения интерлейса в NTSC-источнике с использованием Telecide, постпроцессингом и преобразованием частоты кадров из 29,97 в 23.976 при помощи Decimate(5)."}},
    {21, {"Second case: if you still have interlaced frames, or some lags on static scenes (for example, in hands moving), and no lags during camera moving.", "Если после применения первого варианта интерлейс остался, либо присутствуют небольшие подергивания на статичных сценах (например, при движении рук), но при поворотах камеры движения в кадре плавные."}},
    {22, {"If first two scripts dosn't work, and you have lags during camera moving or some ghosting, use this small script and trace movie frame-to-frame.", "Если первые два варианта не помогли, заметны подергивания при повороте камеры или полупрозрачные двоящиеся контуры (гостинг), то оставляем в скрипте только одну строчку и смотрим покадрово."}},
    {23, {"If each 6-th frame is duplicated, then we probably have PAL->NTCS conversion case. In this case we must cut duplicated frames using \"Decimate(6)\" command. \"vthresh\" value must be from 30 to 150.", "Если каждый шестой кадр повторяется, то мы имеем дело с результатом конверсии PAL->NTCS. В этом случае при помощи Decimate(6) выкидываем каждый шестой кадр. Значение \"vthresh\" подбираем в диапазоне от 30 до 150."}},
    {24, {"If all above efforts get unacceptable result, try alternative filters combination - Bob and Repal.", "Если результат неудовлетворительный, пробуем альтернативный вариант с использование команд Bob и Repal."}},
    {25, {"Because Bob sometimes works incorrectly, you can try other filter - SmoothDeinterlace. Less value \"lacethresh\", more deinterlace.", "Так как иногда Bob работает не совсем корректно, то нам может также пригодиться еще один вариант с фильтром SmoothDeinterlace. Чем меньше параметр \"lacethresh\", тем сильнее деинтерлейс."}},
    {26, {"Warning! X1 value is not aliquot to 2. Fix this?", "Внимание! Значение кропинга слева - X1 не кратно 2. Исправить ситуацию?"}},
    {27, {"Warning! X2 value is not aliquot to 2. Fix this?", "Внимание! Значение кропинга справа - X2 не кратно 2. Исправить ситуацию?"}},
    {28, {"Cannot find \"mpeg2source\" command or D2V file name in AVS file", "Не могу найти команду \"mpeg2source\" или имя D2V-файла в скрипт-файле"}},
    {29, {"#    then field order = ", "#    то порядок полей = "}},
    {30, {"AVS-file is not saved. Save it?", "AVS-file не сохранен. Сохранить?"}},
};

} // namespace

QString MessageText(int row, int language) {
  const int column = language == English ? 0 : 1;
  for (const auto &m : kMessages)
    if (m.row == row)
      return QString::fromUtf8(m.text[column]);
  return {};
}

const std::vector<ControlTexts> &MainWindowTexts() {
  static const std::vector<ControlTexts> texts = {
      {"BitBtn1", {"D2V", "D2V"}, {"Open D2V-file", "Открыть D2V-файл"}},
      {"BitBtn13", {"AVS", "AVS"}, {"Open AVS-file", "Открыть AVS-файл"}},
      {"BitBtn10", {"TFF", "TFF"}, {"Test fields order \"0\"", "Проверка порядка полей \"0\""}},
      {"BitBtn11", {"BFF", "BFF"}, {"Test fields order \"1\"", "Проверка порядка полей \"1\""}},
      {"BitBtn9", {"Save-Load ", "Сохр.Загр."}, {"Save and re-open AVS-file", "Перезагрузить AVS-файл"}},
      {"BitBtn5", {"Save As   ", "Сохр.как   "}, {"Save AVS-file with anouther name", "Сохранить AVS-файл под другим именем"}},
      {"BitBtn12", {"Find Interlace", "Поиск интер. "}, {"Find interlaced frames", "Поиск интерлейсного кадра"}},
      {"BitBtn8", {"Deinterlace   ", "Убрать интер."}, {"Make deinterlacing", "Выполнить деинтерлейс"}},
      {"BitBtn2", {"Find Light   ", "Свет.кадр  "}, {"Find light frame", "Поиск светлого кадра"}},
      {"BitBtn7", {"Make Crop ", "Кропинг     "}, {"Make croping", "Выполнить кропинг"}},
      {"BitBtn6", {"Resize       ", "Ресайз       "}, {"Make resizing", "Выполнить ресайз"}},
      {"BitBtn14", {"Calculate    ", "Калькулят. "}, {"Calculate bitrate", "Рассчет битрейта"}},
      {"BitBtn15", {"Test Round", "Округлость"}, {"Find round area", "Найти округлую область с указанным центром"}},
      {"BitBtn18", {"VDubMod  ", "VDubMod  "}, {"Close Reelwork and run VirtualDubMod", "Закрыть Reelwork и запустить VirtualDubMod"}},
      {"BitBtn4", {"Options    ", "Опции     "}, {"Change options", "Настройка опций"}},
      {"BitBtn16", {nullptr, nullptr}, {"One frame left", "Один кадр влево"}},
      {"BitBtn17", {nullptr, nullptr}, {"One frame right", "Один кадр вправо"}},
      {"Field0", {"0", "0"}, {"Set fields order \"0\"", "Порядок полей \"0\""}},
      {"Field1", {"1", "1"}, {"Set fields order \"1\"", "Порядок полей \"1\""}},
      {"CheckListBox1", {nullptr, nullptr}, {"Add and remove filters", "Вставка и удаление фильтров"}},
      {"TrackBar1", {nullptr, nullptr}, {"Trace frames", "Перемещение по кадрам"}},
  };
  return texts;
}

QString WindowTextFor(WindowText text, int language) {
  struct Row {
    WindowText text;
    const char *column[2];
  };
  static const Row rows[] = {
      {WindowText::IndexBuild, {"Indexing the video...", "Индексация видео..."}},
      {WindowText::InterlaceSearch, {"Searching for interlaced frames...", "Поиск интерлейсных кадров..."}},
      {WindowText::TitleSearch, {"Searching for the end titles...", "Поиск титров..."}},
      {WindowText::NotPreviewed, {"Not previewed: ", "Не показано: "}},
      {WindowText::Approximated, {"Approximated: ", "Показано приблизительно: "}},
      {WindowText::MissingImports, {"Missing imports: ", "Нет файлов Import: "}},
      {WindowText::DamagedFrames, {"Damaged frames: ", "Повреждённые кадры: "}},
      {WindowText::ScriptLine, {"%1, line %2", "%1, строка %2"}},
      {WindowText::OpeningCancelled, {"Opening cancelled. Press \"Save-Load\" to try again.",
                                      "Открытие прервано. Нажмите \"Сохр.Загр.\", чтобы повторить."}},
      {WindowText::NotRegularFile, {"\"%1\" is not a regular file and cannot be opened.",
                                    "\"%1\" - не обычный файл, его нельзя открыть."}},
      {WindowText::Cancel, {"Cancel", "Отмена"}},
  };
  const int column = language == English ? 0 : 1;
  for (const Row &row : rows)
    if (row.text == text)
      return QString::fromUtf8(row.column[column]);
  return {};
}

bool ApplyQtLanguage(int language) {
  auto *app = QCoreApplication::instance();
  if (!app)
    return language != Russian;
  // One translator for the whole run, owned by the application.
  static QTranslator *russian = nullptr;
  static bool installed = false;
  if (language != Russian) {
    if (installed)
      QCoreApplication::removeTranslator(russian);
    installed = false;
    return true;
  }
  if (installed)
    return true;
  if (!russian) {
    russian = new QTranslator(app);
    if (!russian->load("qtbase_ru", QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
      return false;
  }
  if (russian->isEmpty())
    return false;
  installed = QCoreApplication::installTranslator(russian);
  return installed;
}

// ---- Texts beyond the numbered table.

namespace {
QString Pick(int language, const char *english, const char *russian) {
  return QString::fromUtf8(language == English ? english : russian);
}
} // namespace

QString SaveFailureText(const SaveFailure &failure, int language) {
  const QString path = QString::fromStdString(failure.path);
  QString text;
  switch (failure.kind) {
  case SaveFailure::WriteProtected:
    text = Pick(language, "The file %1 is write-protected. It was not changed.",
                "Файл %1 защищён от записи. Он не изменён.");
    break;
  case SaveFailure::NotAFile:
    text = Pick(language, "%1 is not a file. Nothing was saved.", "%1 - не файл. Ничего не сохранено.");
    break;
  case SaveFailure::Unreadable:
    return SettingsUnreadableText(path, language);
  default:
    text = Pick(language, "Cannot save %1. The file was not changed.", "Не могу сохранить %1. Файл не изменён.");
    break;
  }
  text = text.arg(path);
  if (!failure.reason.empty())
    text += "\n" + QString::fromLocal8Bit(failure.reason.c_str());
  return text;
}

QString SettingsUnreadableText(const QString &path, int language) {
  return Pick(language,
              "The settings file %1 cannot be read. The default settings are used, and the file is not "
              "overwritten.",
              "Не могу прочитать файл настроек %1. Используются настройки по умолчанию, файл не будет "
              "перезаписан.")
      .arg(path);
}

QString ProgramProblemText(ProgramProblem problem, const QString &program, int language) {
  QString detail;
  switch (problem) {
  case ProgramProblem::NoFolder:
    detail = Pick(language, "Its folder is not set: choose it in Options (\"VirtualDubMod Path\").",
                  "Не указана его папка: выберите её в Опциях (\"Путь к VirtualDubMod\").");
    break;
  case ProgramProblem::NoProgram:
    detail = Pick(language, "There is no %1. Check the folder in Options (\"VirtualDubMod Path\").",
                  "Нет файла %1. Проверьте папку в Опциях (\"Путь к VirtualDubMod\").");
    break;
  case ProgramProblem::NotExecutable:
    detail = Pick(language, "%1 may not be run: it lacks the permission to execute.",
                  "%1 нельзя запустить: нет права на выполнение.");
    break;
  case ProgramProblem::NoWine:
    detail = Pick(language, "%1 is a Windows program, and wine, which runs it, is not installed.",
                  "%1 - программа для Windows, а wine, который её запускает, не установлен.");
    break;
  case ProgramProblem::StartFailed:
    detail = Pick(language, "%1 could not be started.", "Не удалось запустить %1.");
    break;
  }
  if (detail.contains("%1"))
    detail = detail.arg(program);
  // Where the program is missing, the message users know comes first.
  const bool missing = problem == ProgramProblem::NoFolder || problem == ProgramProblem::NoProgram;
  return missing ? QStringLiteral("Cannot find VirtualDubMod!\n") + detail : detail;
}

} // namespace reelwork
