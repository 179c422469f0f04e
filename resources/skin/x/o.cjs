/*
 * Velloran skin: a Qt style sheet applied to the main window when the file
 * x/o.cjs exists beside the executable.  Delete it for the plain look.
 *
 * Rules of the house: colours, borders and corner radii only.  Fonts, sizes,
 * padding and margins are left to the program, whose controls sit at fixed
 * positions; anything here that moved a control by a pixel would be a bug.
 * The window, the two frames and the option buttons already have the
 * palette's button-face colour, so they are not painted here either.
 */

/* Command buttons: a quiet top-to-bottom gradient with rounded corners. */
QPushButton {
    color: #1c2630;
    border: 1px solid #8995a1;
    border-radius: 3px;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #ffffff, stop: 1 #e3e8ed);
}
QPushButton:hover {
    border-color: #4a7fb5;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #ffffff, stop: 1 #dbe8f5);
}
QPushButton:pressed {
    border-color: #3a6b9c;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #cfdbe7, stop: 1 #eaf0f6);
}
QPushButton:focus {
    border-color: #3b78b8;
}
QPushButton:disabled {
    color: #98a1aa;
    border-color: #c2c8ce;
    background: #eef0f2;
}

/* Frame captions in a deep blue, so the two groups read at a glance. */
QGroupBox#Frame1, QGroupBox#Frame2 {
    color: #1f4e79;
}

/* The folder box stays white; only its border follows the buttons. */
QLineEdit#Text1 {
    background: #ffffff;
    color: #000000;
    border: 1px solid #8995a1;
    border-radius: 2px;
    selection-background-color: #3b78b8;
    selection-color: #ffffff;
}
QLineEdit#Text1:focus {
    border-color: #3b78b8;
}
QLineEdit#Text1:disabled {
    background: #f3f4f5;
    color: #7d868f;
}

/* The list of presentations: white page, blue selection. */
QTreeView#ListView1 {
    background: #ffffff;
    color: #000000;
    border: 1px solid #8995a1;
    selection-background-color: #3b78b8;
    selection-color: #ffffff;
}

/* Its header: the button gradient, flat.  The hairline under it is drawn by
   the gradient's last stops rather than a border, which would make the
   header a pixel taller and push the first row down. */
QTreeView#ListView1 QHeaderView::section {
    color: #1c2630;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1,
                                stop: 0 #ffffff, stop: 0.93 #e3e8ed,
                                stop: 0.94 #a9b3bd, stop: 1 #a9b3bd);
    border: none;
    border-right: 1px solid #c5ccd3;
    padding-left: 3px;  /* the native inset; a style sheet section has none */
}

QToolTip {
    color: #1c2630;
    background: #fffbe8;
    border: 1px solid #a9b3bd;
}
