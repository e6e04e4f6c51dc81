// Draws a scripted scene through ncurses on its terminal, then writes what ncurses believes the screen
// shows to a file: per row one line of characters and one line of cell flags (1 reverse, 2 underline,
// 4 alternate character set). Usage: ncurses_scene SCENE DUMP-FILE
#include <curses.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

unsigned next(unsigned& state) {
    state = state * 1103515245u + 12345u;
    return (state >> 16) & 0x7FFF;
}

void sceneText() {
    mvaddstr(0, 0, "Scene of text and attributes");
    attron(A_REVERSE);
    mvaddstr(2, 10, "reverse");
    attroff(A_REVERSE);
    attron(A_UNDERLINE);
    mvaddstr(3, 12, "underline");
    attron(A_REVERSE);
    mvaddstr(4, 14, "both");
    attrset(A_NORMAL);
    attron(A_STANDOUT);
    mvaddstr(5, 70, "standout");
    attrset(A_NORMAL);
    mvaddstr(23, 0, "bottom line");
    mvaddstr(23, 70, "corner end");
    refresh();
    WINDOW* box1 = subwin(stdscr, 8, 30, 8, 20);
    box(box1, 0, 0);
    mvwaddstr(box1, 3, 2, "inside a box");
    mvwhline(box1, 5, 1, ACS_HLINE, 28);
    mvwaddch(box1, 5, 0, ACS_LTEE);
    mvwaddch(box1, 5, 29, ACS_RTEE);
    mvaddch(17, 20, ACS_BULLET);
    mvaddch(17, 22, ACS_CKBOARD);
    touchwin(stdscr); // the box was drawn through the subwindow
    refresh();
    move(2, 12);
    clrtoeol();
    move(20, 5);
    addstr("soon gone");
    refresh();
    move(19, 0);
    clrtobot();
    refresh();
}

void sceneScroll() {
    idlok(stdscr, TRUE);
    scrollok(stdscr, TRUE);
    for (int r = 0; r < LINES; ++r)
        mvprintw(r, 0, "line %02d of the first picture", r);
    refresh();
    setscrreg(5, 15);
    scrl(3);
    refresh();
    scrl(-2);
    refresh();
    move(8, 0);
    insdelln(2);
    refresh();
    move(10, 0);
    insdelln(-1);
    refresh();
    setscrreg(0, LINES - 1);
    move(LINES - 1, 0);
    scrl(1);
    mvaddstr(LINES - 1, 0, "after a full scroll");
    refresh();
}

void sceneEdits() {
    idlok(stdscr, TRUE);
    idcok(stdscr, TRUE);
    for (int r = 0; r < LINES; ++r)
        mvprintw(r, 0, "%02d abcdefghijklmnopqrstuvwxyz 0123456789 ABCDEFGHIJKLMNOPQRSTUVWXYZ", r);
    refresh();
    for (int r = 2; r < 20; r += 3) {
        move(r, 5);
        insch('*');
        move(r + 1, 10);
        delch();
        delch();
    }
    refresh();
    unsigned state = 6;
    for (int round = 0; round < 40; ++round) {
        for (int k = 0; k < 6; ++k) {
            const int r = static_cast<int>(next(state) % LINES);
            const int c = static_cast<int>(next(state) % (COLS - 12));
            const unsigned a = next(state) % 4;
            attrset(a == 1 ? A_REVERSE : a == 2 ? A_UNDERLINE : A_NORMAL);
            mvprintw(r, c, "w%03d-%02d", round, k);
        }
        attrset(A_NORMAL);
        if (round % 7 == 3) {
            move(static_cast<int>(next(state) % LINES), static_cast<int>(next(state) % COLS));
            clrtoeol();
        }
        if (round % 13 == 12)
            clear();
        refresh();
    }
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    initscr();
    noecho();
    const std::string scene = argv[1];
    if (scene == "text")
        sceneText();
    else if (scene == "scroll")
        sceneScroll();
    else if (scene == "edits")
        sceneEdits();
    else
        return endwin(), 2;
    std::FILE* dump = std::fopen(argv[2], "w");
    if (!dump)
        return endwin(), 1;
    for (int r = 0; r < LINES; ++r) {
        std::string text;
        std::string flags;
        for (int c = 0; c < COLS; ++c) {
            const chtype cell = mvinch(r, c);
            text += static_cast<char>(cell & A_CHARTEXT);
            flags += static_cast<char>('0' + ((cell & (A_REVERSE | A_STANDOUT)) ? 1 : 0) +
                                       ((cell & A_UNDERLINE) ? 2 : 0) + ((cell & A_ALTCHARSET) ? 4 : 0));
        }
        std::fprintf(dump, "%s\n%s\n", text.c_str(), flags.c_str());
    }
    std::fclose(dump);
    endwin();
    return 0;
}
