// The generated package's name, as the examples import it.
export const PACKAGE_NAME = 'tav-champ-select-client';
